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

# One static library per top folder, made of every source under it. A layer with
# no sources yet is an interface library, so that the layers above can link it.
function(brelum_layer target folder)
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${folder}/*.cpp)
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
endfunction()

# Links what a layer's public headers need (PUBLIC) and what only its sources need
# (PRIVATE), whichever kind of library the layer is at the moment.
function(brelum_link target)
  cmake_parse_arguments(arg "" "" "PUBLIC;PRIVATE" ${ARGN})
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_link_libraries(${target} INTERFACE ${arg_PUBLIC})
  else()
    target_link_libraries(${target} PUBLIC ${arg_PUBLIC} PRIVATE ${arg_PRIVATE})
  endif()
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
  # resources (and their registration at start-up) into every program that uses them.
  get_target_property(type ${target} TYPE)
  set(function "")
  if(type STREQUAL "STATIC_LIBRARY")
    set(function ${stem})
  endif()
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -DBUNDLE=${bundle} -DFILES=${joined} -DOUTPUT=${output}
            -DFUNCTION=${function} -P ${BRELUM_EMBED_SCRIPT}
    DEPENDS ${files} ${BRELUM_EMBED_SCRIPT}
    COMMENT "Embedding resources of ${bundle} into ${target}"
    VERBATIM)

  if(type STREQUAL "STATIC_LIBRARY")
    target_sources(${target} PRIVATE ${output})
    return()
  endif()
  add_library(${stem} OBJECT ${output})
  target_link_libraries(${stem} PRIVATE Platform)
  brelum_warnings(${stem})
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_link_libraries(${target} INTERFACE $<TARGET_OBJECTS:${stem}>)
  else()
    target_link_libraries(${target} PRIVATE ${stem})
  endif()
endfunction()
