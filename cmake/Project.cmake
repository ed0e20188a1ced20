# Helpers shared by every layer's CMakeLists.

include(GNUInstallDirs)

# Rebuilds of a fresh clone or of another work tree reuse earlier compilations when ccache
# is there (scripts/setup installs it); the fuzz preset's clang output is cached alike.
find_program(BRELUM_CCACHE ccache)
if(BRELUM_CCACHE AND NOT CMAKE_CXX_COMPILER_LAUNCHER)
  set(CMAKE_C_COMPILER_LAUNCHER ${BRELUM_CCACHE})
  set(CMAKE_CXX_COMPILER_LAUNCHER ${BRELUM_CCACHE})
endif()
# Headers are included from the repository root ("Platform/Foundation/URL.h"), and installed
# the same way below this folder.
set(BRELUM_INSTALL_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR}/BrelumCoreSDK)

# Warnings are errors for project code only; third-party headers come in as SYSTEM.
function(brelum_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
  # g++ 12 misreports string concatenation inside libstdc++ as overlapping memcpy at -O2
  # and above (GCC bug 105329), which would fail release builds of correct code.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    target_compile_options(${target} PRIVATE -Wno-restrict)
  endif()
  if(BRELUM_WARNINGS_AS_ERRORS)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# One static library per layer, made of every source under its folder but the EXCLUDE
# subfolders (layers of their own). A layer with no sources yet is an interface library, so that
# the layers above can link it.
function(brelum_layer target folder)
  cmake_parse_arguments(arg "" "" "EXCLUDE" ${ARGN})
  file(GLOB_RECURSE files CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${folder}/*.cpp
                                            ${CMAKE_SOURCE_DIR}/${folder}/*.h)
  foreach(excluded IN LISTS arg_EXCLUDE)
    foreach(file IN LISTS files)
      string(FIND ${file} ${CMAKE_SOURCE_DIR}/${excluded}/ at)
      if(at EQUAL 0)
        list(REMOVE_ITEM files ${file})
      endif()
    endforeach()
  endforeach()
  set(sources ${files})
  list(FILTER sources INCLUDE REGEX "[.]cpp$")
  if(sources)
    add_library(${target} STATIC ${sources})
    target_include_directories(${target} PUBLIC $<BUILD_INTERFACE:${CMAKE_SOURCE_DIR}>
                                                $<INSTALL_INTERFACE:${BRELUM_INSTALL_INCLUDEDIR}>)
    brelum_warnings(${target})
  else()
    add_library(${target} INTERFACE)
    target_include_directories(${target} INTERFACE $<BUILD_INTERFACE:${CMAKE_SOURCE_DIR}>
                                                   $<INSTALL_INTERFACE:${BRELUM_INSTALL_INCLUDEDIR}>)
  endif()
  set_target_properties(${target} PROPERTIES BRELUM_FOLDER ${folder}
    BRELUM_EXCLUDE "${arg_EXCLUDE}" BRELUM_FILES "${files}")
  set_property(GLOBAL APPEND PROPERTY BRELUM_LIBRARIES ${target})
endfunction()

# Links what a layer's public headers need (PUBLIC) and what only its sources need
# (PRIVATE), whichever kind of library the layer is at the moment. Also an umbrella: an
# interface library of no folder that stands for the layers it links.
#
# The links are also the layer's include rule: its files may include files of its own folder
# and of the layers it links, directly or through them, and nothing else of the project. A
# check of every #include line runs before the layer's sources compile, so that an include
# reaching up a layer fails the build. Call it in the layer's own CMakeLists, after linking the
# layers under it.
set(BRELUM_CHECK_INCLUDES_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/CheckLayerIncludes.cmake)
set(BRELUM_PROJECT_INCLUDES_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/ProjectIncludes.cmake)
function(brelum_link target)
  cmake_parse_arguments(arg "" "" "PUBLIC;PRIVATE" ${ARGN})
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_link_libraries(${target} INTERFACE ${arg_PUBLIC})
  else()
    target_link_libraries(${target} PUBLIC ${arg_PUBLIC} PRIVATE ${arg_PRIVATE})
  endif()

  get_target_property(folder ${target} BRELUM_FOLDER)
  get_target_property(denied ${target} BRELUM_EXCLUDE)
  set(allowed)
  if(folder)
    set(allowed ${folder})
  endif()
  if(NOT denied)
    set(denied)
  endif()
  foreach(library IN LISTS arg_PUBLIC arg_PRIVATE)
    if(NOT TARGET ${library})
      continue()
    endif()
    get_target_property(libraryAllowed ${library} BRELUM_ALLOWED)
    get_target_property(libraryDenied ${library} BRELUM_DENIED)
    if(libraryAllowed)
      list(APPEND allowed ${libraryAllowed})
    endif()
    if(libraryDenied)
      list(APPEND denied ${libraryDenied})
    endif()
  endforeach()
  list(REMOVE_DUPLICATES allowed)
  list(REMOVE_DUPLICATES denied)
  # A subfolder one linked layer leaves out is allowed when another linked layer is made of it.
  foreach(folderAllowed IN LISTS allowed)
    list(REMOVE_ITEM denied ${folderAllowed})
  endforeach()
  set_target_properties(${target} PROPERTIES BRELUM_ALLOWED "${allowed}" BRELUM_DENIED "${denied}")
  if(NOT folder OR type STREQUAL "INTERFACE_LIBRARY")
    return()
  endif()

  get_target_property(files ${target} BRELUM_FILES)
  get_target_property(excluded ${target} BRELUM_EXCLUDE)
  set(stamp ${CMAKE_CURRENT_BINARY_DIR}/${target}.includes-checked)
  # Lists travel joined by "|", since ";" would split the command line.
  string(REPLACE ";" "|" excluded "${excluded}")
  string(REPLACE ";" "|" allowed "${allowed}")
  string(REPLACE ";" "|" denied "${denied}")
  add_custom_command(OUTPUT ${stamp}
    COMMAND ${CMAKE_COMMAND} -DROOT=${CMAKE_SOURCE_DIR} -DLAYER=${target} -DFOLDER=${folder}
            -DEXCLUDE=${excluded} -DALLOWED=${allowed} -DDENIED=${denied} -DSTAMP=${stamp}
            -P ${BRELUM_CHECK_INCLUDES_SCRIPT}
    DEPENDS ${files} ${BRELUM_CHECK_INCLUDES_SCRIPT} ${BRELUM_PROJECT_INCLUDES_SCRIPT}
    COMMENT "Checking the includes of ${target} against the layers it links"
    VERBATIM)
  # A target of its own, so that the check waits for nothing and every object of the library
  # waits for the check.
  add_custom_target(${target}Includes DEPENDS ${stamp})
  add_dependencies(${target} ${target}Includes)
endfunction()

# Compiles `files` into `target` as the resources of the embedded bundle named `bundle`:
# platform::Bundle::embedded(bundle) answers them by file name (Bundle::framework() is the
# bundle named "BrelumCoreSDK"). A generated source registers the bytes at start-up.
set(BRELUM_EMBED_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/EmbedResources.cmake)
function(brelum_embed_resources target bundle)
  set(files)
  set(names)
  foreach(file IN LISTS ARGN)
    cmake_path(ABSOLUTE_PATH file BASE_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}
               OUTPUT_VARIABLE absolute)
    cmake_path(GET absolute FILENAME name)
    if(name IN_LIST names)
      message(FATAL_ERROR "brelum_embed_resources: two resources named ${name} in ${bundle}")
    endif()
    list(APPEND files ${absolute})
    list(APPEND names ${name})
  endforeach()

  string(MAKE_C_IDENTIFIER "${target}_${bundle}_resources" stem)
  set(output ${CMAKE_CURRENT_BINARY_DIR}/${stem}.cpp)
  # The list goes through the command line joined by "|", since ";" would split it.
  string(REPLACE ";" "|" joined "${files}")
  # A static library keeps the generated source among its own, so that an installed package
  # carries the resources; the linker takes an archive member only when something refers to
  # it, so the source also defines `void <stem>()`, which the library's code calls to pull the
  # resources (and their registration at start-up) into every program that uses them. A
  # generated header declares it, included from the build tree's root as sources are from the
  # repository's: "<folder>/<bundle>Resources.h" (Classes/BrelumCoreSDKResources.h).
  get_target_property(type ${target} TYPE)
  set(function "")
  set(header "")
  if(type STREQUAL "STATIC_LIBRARY")
    set(function ${stem})
    set(header ${CMAKE_CURRENT_BINARY_DIR}/${bundle}Resources.h)
  endif()
  add_custom_command(OUTPUT ${output} ${header}
    COMMAND ${CMAKE_COMMAND} -DBUNDLE=${bundle} -DFILES=${joined} -DOUTPUT=${output}
            -DFUNCTION=${function} -DHEADER=${header} -P ${BRELUM_EMBED_SCRIPT}
    DEPENDS ${files} ${BRELUM_EMBED_SCRIPT}
    COMMENT "Embedding resources of ${bundle} into ${target}"
    VERBATIM)

  if(type STREQUAL "STATIC_LIBRARY")
    target_sources(${target} PRIVATE ${output} ${header})
    target_include_directories(${target} PRIVATE ${CMAKE_BINARY_DIR})
    return()
  endif()
  add_library(${stem} OBJECT ${output})
  target_link_libraries(${stem} PRIVATE PlatformFoundation)
  brelum_warnings(${stem})
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_link_libraries(${target} INTERFACE $<TARGET_OBJECTS:${stem}>)
  else()
    target_link_libraries(${target} PRIVATE ${stem})
  endif()
endfunction()
