# Run by `cmake --install` (cmake/Install.cmake sets BRELUM_ROOT, BRELUM_UMBRELLA and
# BRELUM_DESTINATION): installs the umbrella header and every project header it reaches, each
# under its folder, and nothing else. What a host can include is what the umbrella declares
# public, followed through the includes at install time, so no list of headers is kept by hand;
# the plumbing headers that only sources include (libcurl, Cairo, GStreamer, SDL) stay behind.
# The install script around this one sets no policies; these lines keep to the build's.
cmake_policy(PUSH)
cmake_policy(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/ProjectIncludes.cmake)

brelum_header_closure(${BRELUM_ROOT} ${BRELUM_UMBRELLA} headers)
foreach(header IN LISTS headers)
  cmake_path(GET header PARENT_PATH folder)
  file(INSTALL ${BRELUM_ROOT}/${header} DESTINATION ${BRELUM_DESTINATION}/${folder})
endforeach()
cmake_policy(POP)
