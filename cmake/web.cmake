# The browser build with Emscripten: WebGL 2 through Emscripten's GLFW, stb's
# implementation compiled in, GLSL ES 3.00 shaders, and the page. The site
# (index.html, its service worker and manifest, and in files/ everything
# else under names that carry a hash) goes to KNOLL_WEB_SITE, a folder any
# static web server serves as it is. Included from the top CMakeLists.txt
# instead of the desktop's library look-ups.

# ------------------------------------------------------------- settings ----
set(KNOLL_WEB_SITE ${CMAKE_BINARY_DIR}/site CACHE PATH "Folder of the static site")
set(KNOLL_SHADER_PRELUDE ${CMAKE_SOURCE_DIR}/shaders/prelude_webgl2.glsl)
set(KNOLL_DIALECT_SOURCE src/gl_dialect_webgl2.cpp)
# Only the program itself runs in a browser.
set(KNOLL_TESTS OFF CACHE BOOL "" FORCE)
set(KNOLL_BENCH OFF CACHE BOOL "" FORCE)
set(KNOLL_TOOLS OFF CACHE BOOL "" FORCE)
# Optimised for size: every byte of the first visit counts, and a frame's
# time is the GL's, not the code's. -Oz with link-time optimisation takes
# 11 kB off knoll.wasm's download against -Os alone.
set(CMAKE_C_FLAGS_RELEASE "-Oz -flto -DNDEBUG")
set(CMAKE_CXX_FLAGS_RELEASE "-Oz -flto -DNDEBUG")

# ------------------------------------------------------------ libraries ----
# Emscripten's sysroot holds no stb: Debian's headers are compiled here (the
# Windows build's unit). libepoxy's header is stood in for by web/include.
if(NOT STB_INCLUDE_DIR)
  message(FATAL_ERROR "set STB_INCLUDE_DIR to the folder of stb_image.h (Debian: /usr/include/stb)")
endif()
add_library(knoll_stb STATIC packaging/windows/stb.c)
target_include_directories(knoll_stb SYSTEM PUBLIC ${STB_INCLUDE_DIR})
target_compile_options(knoll_stb PRIVATE -w)
# The page decodes only the PNGs embedded in knoll.wasm; the other formats'
# decoders would only add to its download.
target_compile_definitions(knoll_stb PRIVATE STBI_ONLY_PNG)
add_library(knoll_web_gl INTERFACE)
target_include_directories(knoll_web_gl INTERFACE ${CMAKE_SOURCE_DIR}/web/include)
target_link_options(knoll_web_gl INTERFACE -sUSE_GLFW=3 -sMIN_WEBGL_VERSION=2 -sMAX_WEBGL_VERSION=2)
set(KNOLL_LIBRARIES knoll_web_gl knoll_stb m)

# ------------------------------------------------------------- the page ----
# knoll.wasm carries the code, the mesh models and the four small images the
# logo screen and the terrain need; the other images go beside it as lossless
# WebP (the same pixels at half the bytes of the PNGs), which the browser
# decodes itself. web/pack.py puts it all into KNOLL_WEB_SITE under names that
# carry a hash of their contents, with the page, its service worker and its
# web app manifest; it writes the build beside the folder and moves it in
# once whole, so that the folder can be served while it builds. The runtime
# stays after main returns (the loop runs on animation frames) and ends at
# Esc with the exit status.
find_program(KNOLL_CWEBP cwebp REQUIRED)
find_program(KNOLL_PYTHON python3 REQUIRED)
find_program(KNOLL_ZOPFLI zopfli REQUIRED)
find_program(KNOLL_ZOPFLIPNG zopflipng REQUIRED)
find_program(KNOLL_TERSER terser REQUIRED)
# The page's sources: web/pack.py takes what index.html and its modules name.
file(GLOB KNOLL_WEB_PAGE_FILES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/web/*.html
     ${CMAKE_SOURCE_DIR}/web/*.css ${CMAKE_SOURCE_DIR}/web/*.js)
file(GLOB KNOLL_WEB_MODULES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/web/page/*.js)
# The icons' sizes are web/pack.py's, which names them in the manifest.
execute_process(COMMAND ${KNOLL_PYTHON} ${CMAKE_SOURCE_DIR}/web/pack.py --icon-sizes
  OUTPUT_VARIABLE KNOLL_WEB_ICON_SIZES OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "web/pack.py --icon-sizes failed")
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/web/pack.py)
include(${CMAKE_CURRENT_LIST_DIR}/icon_tool.cmake)

# Stages in the folder modules the page's ES modules as the browser loads
# them: web/page/ beside knoll-boundary.js, which web/boundary.cpp, built for
# this machine, writes from src/page_boundary.h. web/pack.py packs them from
# there (the folder modules of its --build), and Node loads them from there
# (web/package.json makes them modules to it). Sets var to the stage's mark.
function(knoll_web_modules modules var)
  find_program(KNOLL_HOST_CXX NAMES c++ g++ REQUIRED)
  set(tool ${CMAKE_BINARY_DIR}/knoll_boundary_host)
  add_custom_command(OUTPUT ${tool}
    COMMAND ${KNOLL_HOST_CXX} -std=c++17 -O2 -I${CMAKE_SOURCE_DIR}/src
            ${CMAKE_SOURCE_DIR}/web/boundary.cpp -o ${tool}
    DEPENDS ${CMAKE_SOURCE_DIR}/web/boundary.cpp ${CMAKE_SOURCE_DIR}/src/page_boundary.h
    COMMENT "Building the page's boundary writer for this machine")
  add_custom_command(OUTPUT ${modules}/staged
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${modules}
    COMMAND ${CMAKE_COMMAND} -E copy_directory ${CMAKE_SOURCE_DIR}/web/page ${modules}/page
    COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/web/package.json ${modules}
    COMMAND ${tool} ${modules}/knoll-boundary.js
    COMMAND ${CMAKE_COMMAND} -E touch ${modules}/staged
    DEPENDS ${tool} ${KNOLL_WEB_MODULES} ${CMAKE_SOURCE_DIR}/web/package.json
    COMMENT "Staging the page's modules with its knoll-boundary.js")
  set(${var} ${modules}/staged PARENT_SCOPE)
endfunction()

function(knoll_web_page target)
  set(build ${CMAKE_BINARY_DIR}/page)
  set_target_properties(${target} PROPERTIES SUFFIX .js RUNTIME_OUTPUT_DIRECTORY ${build})
  target_link_options(${target} PRIVATE
    -Oz -flto -sMALLOC=emmalloc -sENVIRONMENT=web -sALLOW_MEMORY_GROWTH=1 -sMAXIMUM_MEMORY=1GB -sINITIAL_MEMORY=48MB -sTOTAL_STACK=1MB
    -sEXIT_RUNTIME=1
    "-sEXPORTED_RUNTIME_METHODS=[FS,UTF8ToString,stringToUTF8]"
    # The allocator for the terrain's path the page hands over; Knoll's own
    # exports to the page are marked in src/page_bridge.cpp.
    "-sEXPORTED_FUNCTIONS=[_main,_malloc,_free]")
  # Lossless and exact: every texel as in the PNG, also under alpha 0.
  set(inputs)
  foreach(n ${KNOLL_PAGE_IMAGES})
    string(REPLACE ".png" ".webp" w ${n})
    add_custom_command(OUTPUT ${build}/images/${w}
      COMMAND ${KNOLL_CWEBP} -quiet -lossless -exact -z 9 -metadata none
              ${KNOLL_ASSET_DIR}/${n} -o ${build}/images/${w}
      DEPENDS ${KNOLL_ASSET_DIR}/${n}
      COMMENT "Encoding ${n} as lossless WebP")
    list(APPEND inputs ${build}/images/${w})
  endforeach()
  file(MAKE_DIRECTORY ${build}/images)
  knoll_web_modules(${build}/modules staged)
  knoll_icon_tool(tool)
  # The icons as WebP: a browser fetches one with the manifest in a first
  # visit, and an icon needs no exact pixels, so they go lossy (the 192 px
  # one 5 kB instead of 16 kB lossless).
  foreach(size ${KNOLL_WEB_ICON_SIZES})
    add_custom_command(OUTPUT ${build}/icon-${size}.webp
      COMMAND ${tool} ${KNOLL_ASSET_DIR}/logo.png ${build}/icon-${size}.png ${size}
      COMMAND ${KNOLL_CWEBP} -quiet -q 90 -m 6 -alpha_q 100 ${build}/icon-${size}.png -o ${build}/icon-${size}.webp
      DEPENDS ${tool} ${KNOLL_ASSET_DIR}/logo.png
      COMMENT "Making the page's ${size} px icon")
    list(APPEND inputs ${build}/icon-${size}.webp)
  endforeach()
  list(APPEND inputs ${staged} ${KNOLL_WEB_PAGE_FILES})
  add_custom_command(OUTPUT ${build}/packed
    COMMAND ${KNOLL_PYTHON} ${CMAKE_SOURCE_DIR}/web/pack.py --version ${PROJECT_VERSION}
            --build ${build} --page ${CMAKE_SOURCE_DIR}/web --site ${KNOLL_WEB_SITE}
    COMMAND ${CMAKE_COMMAND} -E touch ${build}/packed
    DEPENDS ${target} ${inputs} ${CMAKE_SOURCE_DIR}/web/pack.py
    COMMENT "Packing the site into ${KNOLL_WEB_SITE}")
  add_custom_target(knoll_web_site ALL DEPENDS ${build}/packed)
endfunction()
