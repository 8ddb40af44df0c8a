# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 (the posix
# thread model, which std::thread needs):
#   cmake -S . -B build-windows --toolchain cmake/mingw-w64-x86_64.cmake
# Programs and libraries are looked for only among the Windows ones: the
# MinGW-w64 sysroot and the dependency prefixes listed in KNOLL_WINDOWS_DEPS.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KNOLL_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KNOLL_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KNOLL_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${KNOLL_MINGW}-windres)
set(CMAKE_AR ${KNOLL_MINGW}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${KNOLL_MINGW}-ranlib CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${KNOLL_MINGW} ${KNOLL_WINDOWS_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# try_compile projects read this file again and need the list as well.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES KNOLL_WINDOWS_DEPS)
