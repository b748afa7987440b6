#!/usr/bin/env bash
# Builds libjpeg-turbo 2.1.5 from the same Debian source package as the
# Windows build, natively, as a position-independent static library, for the
# native plug-in, tests and fuzzers (Debian's own libjpeg.a is not
# position independent, and our memory layer must replace the library's).
#
# usage: scripts/build-libjpeg-native.sh [OUT_DIR]  (default build/deps/libjpeg-native)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
out=${1:-$root/build/deps/libjpeg-native}
stamp=$out/.built-2.1.5
# The same pieces of at most 16 MB as the Windows build; the stamp holds the
# flags, so that a build with other flags is made again.
cflags="-DMAX_ALLOC_CHUNK=16777216L"
if [ "$(cat "$stamp" 2>/dev/null)" = "$cflags" ] && [ -f "$out/lib/libjpeg.a" ]; then exit 0; fi
start=$(date +%s)

# The source is fetched and unpacked by the Windows build's script.
src=$root/build/deps/libjpeg-turbo-2.1.5
if [ ! -f "$src/CMakeLists.txt" ]; then
  "$here/build-libjpeg-win32.sh" >/dev/null
fi
[ -f "$src/CMakeLists.txt" ] || { echo "libjpeg-turbo source missing at $src" >&2; exit 1; }

build=$root/build/deps/libjpeg-turbo-2.1.5-native-build
rm -rf "$build" # a fresh tree, as in the Windows build's script
cmake -S "$src" -B "$build" -G Ninja -DENABLE_SHARED=0 -DENABLE_STATIC=1 -DWITH_TURBOJPEG=0 \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_POSITION_INDEPENDENT_CODE=ON \
  -DCMAKE_INSTALL_PREFIX="$out" -DCMAKE_C_FLAGS="$cflags" >/dev/null
cmake --build "$build" --target jpeg-static -j2 >/dev/null
mkdir -p "$out/lib" "$out/include"
cp "$build/libjpeg.a" "$out/lib/"
cp "$src/jpeglib.h" "$src/jmorecfg.h" "$src/jerror.h" "$src/jmemsys.h" "$build/jconfig.h" "$out/include/"
echo "$cflags" >"$stamp"
echo "libjpeg-turbo 2.1.5 (native, PIC) built in $(( $(date +%s) - start ))s"
