# Reading the project's own includes, for the layer check and the header install. Project files
# are included in double quotes from the repository root ("Platform/UI/View.h"), and nothing
# else is, so a file's quoted includes are exactly the project files it depends on.

# Sets `out` to the paths that `file`'s `#include "..."` lines name.
function(brelum_quoted_includes file out)
  set(pattern "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\"")
  file(STRINGS ${file} lines REGEX "${pattern}")
  set(paths)
  foreach(line IN LISTS lines)
    string(REGEX MATCH "${pattern}" _ "${line}")
    list(APPEND paths ${CMAKE_MATCH_1})
  endforeach()
  set(${out} ${paths} PARENT_SCOPE)
endfunction()

# Sets `out` to `headers` (paths under `root`) and every project header they include, directly
# or through others, sorted.
function(brelum_header_closure root headers out)
  set(found)
  set(pending ${headers})
  while(pending)
    list(POP_FRONT pending header)
    if(header IN_LIST found)
      continue()
    endif()
    if(NOT EXISTS ${root}/${header})
      message(FATAL_ERROR "${header}, included from the public headers, is not in ${root}")
    endif()
    list(APPEND found ${header})
    brelum_quoted_includes(${root}/${header} includes)
    list(APPEND pending ${includes})
  endwhile()
  list(SORT found)
  set(${out} ${found} PARENT_SCOPE)
endfunction()
