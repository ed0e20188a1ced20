# Reading the project's own includes, for the layer check. Project files are included in double
# quotes from the repository root ("Platform/UI/View.h"), and nothing else is, so a file's
# quoted includes are exactly the project files it depends on.

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
