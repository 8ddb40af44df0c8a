# The Windows build with MinGW-w64, cross-compiled here (`make windows`) or
# native under MSYS2: every library linked in statically, stb's
# implementation compiled in, and knoll.exe a GUI program with an icon,
# version information and a manifest, packed with its README and licence
# notices into knoll-<version>-win64.zip. Included from the top
# CMakeLists.txt before the libraries are looked for.

# ------------------------------------------------------------ libraries ----
# KNOLL_WINDOWS_DEPS lists the prefixes of the Windows builds of GLFW,
# libepoxy and googletest (scripts/setup-windows.sh); pkg-config then reads
# only their files, never the build machine's own.
if(KNOLL_WINDOWS_DEPS)
  set(pc_dirs)
  foreach(prefix ${KNOLL_WINDOWS_DEPS})
    list(APPEND pc_dirs ${prefix}/lib/pkgconfig)
  endforeach()
  string(REPLACE ";" ":" pc_dirs "${pc_dirs}")
  set(ENV{PKG_CONFIG_LIBDIR} "${pc_dirs}")
  set(ENV{PKG_CONFIG_PATH} "")
endif()
# No DLL beside knoll.exe but Windows' own: the libraries' static link
# lines, and the C++ runtime, libgcc and winpthreads linked in as well.
# (libepoxy's headers ask for dllimport only under MSVC, so with GCC its
# static library needs no extra definition.)
set(PKG_CONFIG_ARGN --static)
add_link_options(-static)

# Debian's libstb holds stb's implementation for Linux only: the headers
# are compiled here instead. stb's own code is not ours to warn about.
find_path(STB_INCLUDE_DIR stb_image.h PATH_SUFFIXES stb REQUIRED)
add_library(knoll_stb STATIC packaging/windows/stb.c)
target_include_directories(knoll_stb PUBLIC ${STB_INCLUDE_DIR})
target_compile_options(knoll_stb PRIVATE -w)
set(STB_LIBRARY knoll_stb CACHE STRING "stb's implementation" FORCE)

# ---------------------------------------------------------------- tests ----
# Cross-built programs, the tests among them, run under Wine on a private X
# server, in the build tree's own Wine prefix. KNOLL_WINE_RUNNER is that
# command, to be followed by a program and its arguments; the end-to-end
# cases of this build reach knoll.exe through it as well.
if(CMAKE_CROSSCOMPILING)
  set(KNOLL_WINE_RUNNER bash ${CMAKE_SOURCE_DIR}/scripts/wine-run.sh
      --prefix ${CMAKE_BINARY_DIR}/wine)
  set(KNOLL_TEST_RUNNER ${KNOLL_WINE_RUNNER})
  set(CMAKE_CROSSCOMPILING_EMULATOR ${KNOLL_WINE_RUNNER})
else()
  set(KNOLL_TEST_RUNNER "")
endif()

# ------------------------------------------------------------ packaging ----
enable_language(RC)
set(KNOLL_ICON_SIZES 16,32,48,256)
# Each file of the zip's folder and what it is made from: the README, and
# the licence notices of what knoll.exe holds, from Debian's own files of
# the same sources (elsewhere, point these at the libraries' licences).
set(KNOLL_WINDOWS_NOTICES
  "licences/GLFW.txt=/usr/share/doc/libglfw3-dev/copyright"
  "licences/libepoxy.txt=/usr/share/doc/libepoxy-dev/copyright"
  "licences/stb.txt=/usr/share/doc/libstb-dev/copyright"
  "licences/MinGW-w64 runtime and winpthreads.txt=/usr/share/doc/mingw-w64-x86-64-dev/copyright"
  "licences/GCC runtime library.txt=/usr/share/doc/gcc-mingw-w64-base/copyright"
  "licences/GPL-3.txt=/usr/share/common-licenses/GPL-3"
  CACHE STRING "zip name=file of each licence notice packed with knoll.exe")

# Makes the icon with the icon tool for the machine that builds.
include(${CMAKE_CURRENT_LIST_DIR}/icon_tool.cmake)
function(knoll_windows_icon ico)
  knoll_icon_tool(tool)
  add_custom_command(OUTPUT ${ico}
    COMMAND ${tool} ${KNOLL_ASSET_DIR}/logo.png ${ico} ${KNOLL_ICON_SIZES}
    DEPENDS ${tool} ${KNOLL_ASSET_DIR}/logo.png
    COMMENT "Making the icon (${KNOLL_ICON_SIZES} px)")
endfunction()

# Makes target the GUI program of the zip: resources, no console window, and
# the target knoll_zip that packs build/knoll-<version>-win64.zip.
function(knoll_windows_package target)
  set(dir ${CMAKE_BINARY_DIR}/windows)
  set(KNOLL_ICO ${dir}/knoll.ico)
  set(KNOLL_MANIFEST ${dir}/knoll.manifest)
  knoll_windows_icon(${KNOLL_ICO})
  configure_file(packaging/windows/knoll.manifest.in ${KNOLL_MANIFEST} @ONLY)
  configure_file(packaging/windows/knoll.rc.in ${dir}/knoll.rc @ONLY)
  set_source_files_properties(${dir}/knoll.rc PROPERTIES
    OBJECT_DEPENDS "${KNOLL_ICO};${KNOLL_MANIFEST}")
  target_sources(${target} PRIVATE ${dir}/knoll.rc)
  target_link_options(${target} PRIVATE -mwindows)

  configure_file(packaging/windows/README.txt.in ${dir}/README.txt @ONLY)
  configure_file(packaging/copyright.in ${dir}/copyright @ONLY)
  set(texts "README.txt=${dir}/README.txt" "licences/Knoll.txt=${dir}/copyright"
    ${KNOLL_WINDOWS_NOTICES})
  set(sources)
  foreach(text ${texts})
    string(REGEX REPLACE "^[^=]*=" "" source "${text}")
    list(APPEND sources ${source})
  endforeach()
  set(name knoll-${PROJECT_VERSION}-win64)
  file(WRITE ${dir}/pack-texts.cmake "set(TEXTS \"${texts}\")\n")
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/${name}.zip
    COMMAND ${CMAKE_COMMAND} -DEXE=$<TARGET_FILE:${target}> -DSTRIP=${CMAKE_STRIP}
            -DSTAGE=${dir}/${name}
            -DTEXTS_FILE=${dir}/pack-texts.cmake -DZIP=${CMAKE_BINARY_DIR}/${name}.zip
            -P ${CMAKE_SOURCE_DIR}/packaging/windows/pack.cmake
    DEPENDS ${target} ${sources} ${dir}/pack-texts.cmake
            ${CMAKE_SOURCE_DIR}/packaging/windows/pack.cmake
    COMMENT "Packing ${name}.zip")
  add_custom_target(knoll_zip ALL DEPENDS ${CMAKE_BINARY_DIR}/${name}.zip)
endfunction()
