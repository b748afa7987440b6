#!/usr/bin/env bash
# The concurrency run under ThreadSanitizer: builds the plug-in, the
# reference and fake decoders and the hostile-input suite with
# -fsanitize=thread in build/tsan, and runs the suite (its threads case calls
# the four picture exports from several threads at once).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh >/dev/null
scripts/build-libjpeg-native.sh >/dev/null
flags=-fsanitize=thread
cmake -S . -B build/tsan -G Ninja -Wno-dev -DMOVRELA_SANITIZE=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS=$flags -DCMAKE_C_FLAGS=$flags -DCMAKE_EXE_LINKER_FLAGS=$flags \
  -DCMAKE_SHARED_LINKER_FLAGS=$flags >/dev/null
cmake --build build/tsan --target e2e_hostile movrela quorel -j2 >/dev/null
MOVRELA_WINROOT=$PWD/build/tsan/winroot TSAN_OPTIONS=halt_on_error=1 \
  build/tsan/tests/e2e_hostile build/tsan/MOVRELA.MQF "$PWD/../shared/corpus"
