# Cross-compiles for 32-bit Windows with Debian's MinGW-w64 (i686).
# Use with: cmake -DCMAKE_TOOLCHAIN_FILE=<repo>/cmake/mingw-i686.cmake ...
# Serves both libjpeg-turbo (scripts/build-libjpeg-win32.sh) and our own tree.
# ar and ranlib are found by CMake from the compiler's prefix.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(CMAKE_C_COMPILER   i686-w64-mingw32-gcc)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++)
set(CMAKE_RC_COMPILER  i686-w64-mingw32-windres)

# Headers and libraries come only from the MinGW sysroot (plus any prefix the
# caller adds to CMAKE_FIND_ROOT_PATH); build tools such as nasm from the host.
list(APPEND CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# ctest and try_run() start the Windows executables through our Wine wrapper
# (own prefix, no prompts, no display needed).
if(NOT DEFINED CMAKE_CROSSCOMPILING_EMULATOR)
  get_filename_component(CMAKE_CROSSCOMPILING_EMULATOR
    "${CMAKE_CURRENT_LIST_DIR}/../scripts/wine.sh" ABSOLUTE)
endif()
