# Writes OUT from the target's PRELUDE (its version line and the helpers whose
# form differs between OpenGL 3.3 and WebGL 2) followed by IN, with every line
# `#include "name.glsl"` replaced by that file (from the same folder,
# recursively), so each program's source reaches GL as one text.
function(expand_glsl path out_var)
  get_filename_component(dir ${path} DIRECTORY)
  file(STRINGS ${path} lines)
  set(text "")
  foreach(line IN LISTS lines)
    if(line MATCHES "^#include \"([^\"]+)\"")
      expand_glsl(${dir}/${CMAKE_MATCH_1} part)
      string(APPEND text "${part}")
    else()
      string(APPEND text "${line}\n")
    endif()
  endforeach()
  set(${out_var} "${text}" PARENT_SCOPE)
endfunction()

expand_glsl(${PRELUDE} prelude)
expand_glsl(${IN} expanded)
file(WRITE ${OUT}.tmp "${prelude}${expanded}")
file(COPY_FILE ${OUT}.tmp ${OUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUT}.tmp)
