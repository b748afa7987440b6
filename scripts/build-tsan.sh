#!/usr/bin/env bash
# Builds the plug-in, the reference and fake decoders and the hostile-input
# suite with ThreadSanitizer in build/tsan (libjpeg itself is not
# instrumented). The suite's threads case calls the picture exports from
# eight threads at once; scripts/tsan.sh and the tsan_e2e_hostile test run it.
set -euo pipefail
cd "$(dirname "$0")/.."
flags=-fsanitize=thread
cmake -S . -B build/tsan -G Ninja -Wno-dev -DMOVRELA_SANITIZE=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS=$flags -DCMAKE_C_FLAGS=$flags -DCMAKE_EXE_LINKER_FLAGS=$flags \
  -DCMAKE_SHARED_LINKER_FLAGS=$flags >/dev/null
cmake --build build/tsan --target e2e_hostile movrela quorel -j2
