#!/usr/bin/env bash
# Configures and builds the libFuzzer targets with clang in build/fuzz.
set -euo pipefail
cd "$(dirname "$0")/.."
CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -Wno-dev -DMOVRELA_FUZZ=ON \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMOVRELA_FUZZ_SMOKE_SECONDS="${FUZZ_SECONDS:-10}" >/dev/null
cmake --build build/fuzz -j2
