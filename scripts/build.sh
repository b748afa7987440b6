#!/usr/bin/env bash
# Configures and builds the Windows plug-in (build/win32) and, unless called
# with --win32-only, the native build for tests (build/native).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

cmake -S . -B build/win32 -G Ninja -Wno-dev \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
  -DCMAKE_BUILD_TYPE=Release \
  -DMOVRELA_JPEG_DIR="$root/build/deps/libjpeg-win32" >/dev/null
cmake --build build/win32 -j2

if [ "${1:-}" != "--win32-only" ]; then
  cmake -S . -B build/native -G Ninja -Wno-dev \
    -DMOVRELA_SANITIZE=ON \
    -DMOVRELA_WIN32_DIR="$root/build/win32" \
    -DMOVRELA_FUZZ_DIR="$root/build/fuzz" \
    -DMOVRELA_TSAN_DIR="$root/build/tsan" >/dev/null
  cmake --build build/native -j2
fi
