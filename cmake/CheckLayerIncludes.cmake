# Run by brelum_link before a layer's sources compile:
#   cmake -DROOT=<repository> -DLAYER=<target> -DFOLDER=<folder> -DEXCLUDE=<folder|...>
#         -DALLOWED=<folder|...> -DDENIED=<folder|...> -DSTAMP=<file> -P CheckLayerIncludes.cmake
# Fails, naming each offending line, when a header or source under FOLDER (its EXCLUDE subfolders
# are other layers) includes a project file outside ALLOWED, the folders of the layer and of
# the layers it links; otherwise touches STAMP. A file belongs to the most specific folder that
# holds it: with Platform/UI allowed and Platform/UI/Render denied, "Platform/UI/View.h" passes
# and "Platform/UI/Render/Renderer.h" fails.
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/ProjectIncludes.cmake)

foreach(list EXCLUDE ALLOWED DENIED)
  string(REPLACE "|" ";" ${list} "${${list}}")
endforeach()

# The longest folder of ALLOWED or DENIED holding `path` decides; a path in none is denied.
function(may_include path out)
  set(best "")
  set(verdict DENIED)
  foreach(kind ALLOWED DENIED)
    foreach(folder IN LISTS ${kind})
      string(LENGTH "${folder}" length)
      string(LENGTH "${best}" bestLength)
      cmake_path(IS_PREFIX folder "${path}" NORMALIZE inside)
      if(inside AND length GREATER bestLength)
        set(best "${folder}")
        set(verdict ${kind})
      endif()
    endforeach()
  endforeach()
  if(verdict STREQUAL "ALLOWED")
    set(${out} TRUE PARENT_SCOPE)
  else()
    set(${out} FALSE PARENT_SCOPE)
  endif()
endfunction()

file(GLOB_RECURSE files RELATIVE ${ROOT} ${ROOT}/${FOLDER}/*.h ${ROOT}/${FOLDER}/*.cpp)
set(faults "")
foreach(file IN LISTS files)
  set(skip FALSE)
  foreach(excluded IN LISTS EXCLUDE)
    cmake_path(IS_PREFIX excluded ${file} NORMALIZE inside)
    if(inside)
      set(skip TRUE)
    endif()
  endforeach()
  if(skip)
    continue()
  endif()
  brelum_quoted_includes(${ROOT}/${file} includes)
  foreach(include IN LISTS includes)
    may_include(${include} ok)
    if(NOT ok)
      string(APPEND faults "\n  ${file}: #include \"${include}\"")
    endif()
  endforeach()
endforeach()

if(faults)
  string(REPLACE ";" ", " rule "it may include only ${ALLOWED}")
  if(DENIED)
    string(REPLACE ";" ", " others "${DENIED}")
    string(APPEND rule "; not ${others}")
  endif()
  message(FATAL_ERROR "${LAYER} includes files of layers it does not link (${rule}):${faults}")
endif()
file(TOUCH ${STAMP})
