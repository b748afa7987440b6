#!/usr/bin/env bash
# Every benchmark in one run: builds the native tree without sanitizers
# (build/bench) and prints, one section after another, the internal decoder
# against djpeg (time and peak memory), the plug-in's exports against bare
# libjpeg, and the camera containers' post-processors.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
scripts/setup.sh >/dev/null
scripts/build-libjpeg-native.sh >/dev/null
cmake -S . -B build/bench -G Ninja -Wno-dev -DMOVRELA_SANITIZE=OFF -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/bench --target decode_bench plugin_bench containers_bench movrela quorel -j2 >/dev/null
export MOVRELA_WINROOT=$root/build/bench/winroot

echo "== internal decoder against djpeg -bmp (same libjpeg-turbo, same file)"
scripts/bench-decode.sh 2>/dev/null | grep -v -i -E 'warning|^ *$'
echo
echo "== plug-in exports"
build/bench/tests/plugin_bench build/bench/MOVRELA.MQF "$root/../shared/corpus/camera/Canon_40D.jpg"
echo
echo "== camera containers"
build/bench/tests/containers_bench 10
