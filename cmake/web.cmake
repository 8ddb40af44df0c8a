# The browser build with Emscripten: WebGL 2 through Emscripten's GLFW, stb's
# implementation compiled in, GLSL ES 3.00 shaders, and the page. The site
# (index.html, the page's script and style, knoll.js and knoll.wasm) goes to
# KNOLL_WEB_SITE, a folder any static web server serves as it is. Included
# from the top CMakeLists.txt instead of the desktop's library look-ups.

# ------------------------------------------------------------- settings ----
set(KNOLL_WEB_SITE ${CMAKE_BINARY_DIR}/site CACHE PATH "Folder of the static site")
set(KNOLL_SHADER_PRELUDE ${CMAKE_SOURCE_DIR}/shaders/prelude_webgl2.glsl)
set(KNOLL_DIALECT_SOURCE src/gl_dialect_webgl2.cpp)
# Only the program itself runs in a browser.
set(KNOLL_TESTS OFF CACHE BOOL "" FORCE)
set(KNOLL_BENCH OFF CACHE BOOL "" FORCE)
set(KNOLL_TOOLS OFF CACHE BOOL "" FORCE)

# ------------------------------------------------------------ libraries ----
# Emscripten's sysroot holds no stb: Debian's headers are compiled here (the
# Windows build's unit). libepoxy's header is stood in for by web/include.
if(NOT STB_INCLUDE_DIR)
  message(FATAL_ERROR "set STB_INCLUDE_DIR to the folder of stb_image.h (Debian: /usr/include/stb)")
endif()
add_library(knoll_stb STATIC packaging/windows/stb.c)
target_include_directories(knoll_stb SYSTEM PUBLIC ${STB_INCLUDE_DIR})
target_compile_options(knoll_stb PRIVATE -w)
add_library(knoll_web_gl INTERFACE)
target_include_directories(knoll_web_gl INTERFACE ${CMAKE_SOURCE_DIR}/web/include)
target_link_options(knoll_web_gl INTERFACE -sUSE_GLFW=3 -sMIN_WEBGL_VERSION=2 -sMAX_WEBGL_VERSION=2)
set(KNOLL_LIBRARIES knoll_web_gl knoll_stb m)

# ------------------------------------------------------------- the page ----
# knoll.wasm carries every asset (some 17 MB that do not compress further);
# the page fetches it itself to show the download's progress, and starts
# the program once it is there. The runtime stays after main returns (the
# loop runs on animation frames) and ends at Esc with the exit status.
set(KNOLL_WEB_PAGE_FILES index.html knoll-page.js knoll-page.css knoll-bench.js)
function(knoll_web_page target)
  set_target_properties(${target} PROPERTIES SUFFIX .js RUNTIME_OUTPUT_DIRECTORY ${KNOLL_WEB_SITE})
  target_link_options(${target} PRIVATE
    -sENVIRONMENT=web -sALLOW_MEMORY_GROWTH=1 -sINITIAL_MEMORY=64MB -sTOTAL_STACK=1MB
    -sEXIT_RUNTIME=1
    "-sEXPORTED_RUNTIME_METHODS=[FS,UTF8ToString,stringToUTF8]"
    # The page's touch controls and buttons (src/platform_web.cpp).
    "-sEXPORTED_FUNCTIONS=[_main,_knollTouchLook,_knollTouchMove,_knollCommand]")
  set(copied)
  foreach(f ${KNOLL_WEB_PAGE_FILES})
    add_custom_command(OUTPUT ${KNOLL_WEB_SITE}/${f}
      COMMAND ${CMAKE_COMMAND} -E copy_if_different ${CMAKE_SOURCE_DIR}/web/${f} ${KNOLL_WEB_SITE}/${f}
      DEPENDS ${CMAKE_SOURCE_DIR}/web/${f})
    list(APPEND copied ${KNOLL_WEB_SITE}/${f})
  endforeach()
  add_custom_target(knoll_web_site ALL DEPENDS ${copied})
endfunction()
