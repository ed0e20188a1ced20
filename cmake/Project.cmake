# Helpers shared by every layer's CMakeLists.

# Warnings are errors for project code only; third-party headers come in as SYSTEM.
function(brelum_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
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
    target_include_directories(${target} PUBLIC ${CMAKE_SOURCE_DIR})
    brelum_warnings(${target})
  else()
    add_library(${target} INTERFACE)
    target_include_directories(${target} INTERFACE ${CMAKE_SOURCE_DIR})
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
