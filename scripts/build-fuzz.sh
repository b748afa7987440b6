#!/usr/bin/env bash
# Configures and builds the libFuzzer targets with clang in build/fuzz.
set -euo pipefail
cd "$(dirname "$0")/.."
# LittleCMS is compiled from the source the Windows build unpacks.
scripts/build-lcms2-win32.sh >/dev/null
CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -Wno-dev -DMOVRELA_FUZZ=ON \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMOVRELA_FUZZ_SMOKE_SECONDS="${FUZZ_SECONDS:-10}" >/dev/null
cmake --build build/fuzz -j2
