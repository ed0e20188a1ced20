# `cmake --install` puts the framework's libraries, headers and package configuration under
# the prefix, so that a host outside this tree writes find_package(BrelumCore) and links
# BrelumCore::BrelumCore. The headers are the umbrella header and what it reaches
# (cmake/InstallHeaders.cmake), so a public header follows once the umbrella includes it.
include(CMakePackageConfigHelpers)

set(package_dir ${CMAKE_INSTALL_LIBDIR}/cmake/BrelumCore)

get_property(libraries GLOBAL PROPERTY BRELUM_LIBRARIES)
install(TARGETS Platform ${libraries} EXPORT BrelumCoreTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(CODE "
  set(BRELUM_ROOT [[${CMAKE_SOURCE_DIR}]])
  set(BRELUM_UMBRELLA Classes/BrelumCoreSDK.h)
  set(BRELUM_DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${BRELUM_INSTALL_INCLUDEDIR}\")
  include([[${CMAKE_CURRENT_LIST_DIR}/InstallHeaders.cmake]])")
install(EXPORT BrelumCoreTargets NAMESPACE BrelumCore:: DESTINATION ${package_dir})

configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/BrelumCoreConfig.cmake.in
  ${CMAKE_BINARY_DIR}/BrelumCoreConfig.cmake INSTALL_DESTINATION ${package_dir})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/BrelumCoreConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/BrelumCoreConfig.cmake
              ${CMAKE_BINARY_DIR}/BrelumCoreConfigVersion.cmake
              ${CMAKE_CURRENT_LIST_DIR}/Dependencies.cmake
        DESTINATION ${package_dir})
