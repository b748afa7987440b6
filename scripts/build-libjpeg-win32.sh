#!/usr/bin/env bash
# Cross-builds libjpeg-turbo 2.1.5, from Debian's source package, as a static
# i686 Windows library with SIMD (nasm), for linking into the plug-in.
#
#   scripts/build-libjpeg-win32.sh [OUT_DIR]     (default <repo>/build/deps/libjpeg-win32)
#
# Installs OUT_DIR/include/{jpeglib.h,jconfig.h,jmorecfg.h,jerror.h,jmemsys.h} and
# OUT_DIR/lib/libjpeg.a, then builds scripts/check-libjpeg-win32.c against them
# (with <windows.h> included first, as product code does) and runs it under
# Wine. Does nothing when OUT_DIR already holds a finished build of 2.1.5.
# Downloads are cached in <repo>/build/deps/src, work trees in <repo>/build/deps.
set -euo pipefail

VERSION=2.1.5
t_start=$EPOCHREALTIME

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
repo="$(dirname "$here")"
out="$(realpath -m "${1:-$repo/build/deps/libjpeg-win32}")"
deps="$repo/build/deps"
cache="$deps/src"
srcdir="$deps/libjpeg-turbo-$VERSION"
blddir="$deps/libjpeg-turbo-$VERSION-win32-build"
logdir="$deps/logs"
stamp="$out/.libjpeg-turbo-version"
# Large arrays are served in pieces of at most 16 MB, so that a progressive
# picture's coefficients need no single large block of the 32-bit address
# space. A change here changes the stamp, so that a finished build with
# other flags is built again.
CFLAGS_EXTRA="-DMAX_ALLOC_CHUNK=16777216L"
orig="libjpeg-turbo_$VERSION.orig.tar.gz"

say() { echo "build-libjpeg-win32: $*"; }
die() { echo "build-libjpeg-win32: error: $*" >&2; exit 1; }
elapsed() { LC_ALL=C awk -v a="$t_start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.1f", b - a }'; }
# Runs a step quietly; on failure shows the end of its log.
run_logged() {
  local log="$logdir/$1.log"; shift
  if ! "$@" >"$log" 2>&1; then
    tail -n 40 "$log" >&2
    die "'$*' failed (full log: $log)"
  fi
}

done_already() { [ -f "$out/lib/libjpeg.a" ] && [ "$(cat "$stamp" 2>/dev/null)" = "libjpeg-turbo $VERSION $CFLAGS_EXTRA" ]; }

if done_already; then
  say "libjpeg-turbo $VERSION already in $out ($(elapsed) s)"
  exit 0
fi

for tool in apt-get cmake ninja nasm i686-w64-mingw32-gcc i686-w64-mingw32-nm; do
  command -v "$tool" >/dev/null || die "$tool not found (run scripts/setup.sh)"
done

mkdir -p "$cache" "$logdir"
# One build at a time per checkout; a second caller waits and then finds it done.
exec 9>"$deps/.libjpeg-win32.lock"
flock -w 1800 9 || die "timed out waiting for $deps/.libjpeg-win32.lock"
if done_already; then
  say "libjpeg-turbo $VERSION already in $out ($(elapsed) s)"
  exit 0
fi

# --- Source package -----------------------------------------------------------
fetch_source() {
  say "downloading the libjpeg-turbo source package"
  fetch() { (cd "$cache" && apt-get source --download-only libjpeg-turbo); }
  if ! fetch >"$logdir/apt-source.log" 2>&1; then
    # The package lists may be missing or stale (e.g. a new machine).
    local sudo_cmd=()
    [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo -n)
    run_logged apt-update "${sudo_cmd[@]}" apt-get update -q
    run_logged apt-source fetch
  fi
}

# Checks that the cache holds the 2.1.5 tarball intact; the .dsc names the
# version (apt may have fetched another release's package) and its checksum.
source_ok() {
  local dsc dsc_version upstream want_sha
  dsc="$(find "$cache" -maxdepth 1 -name 'libjpeg-turbo_*.dsc' -print | sort -V | tail -n 1)"
  [ -n "$dsc" ] || die "no libjpeg-turbo .dsc in $cache (see $logdir/apt-source.log)"
  dsc_version="$(sed -n 's/^Version: *//p' "$dsc" | head -n 1)"
  upstream="${dsc_version#*:}"
  upstream="${upstream%-*}"
  if [ "$upstream" != "$VERSION" ] || [ ! -f "$cache/$orig" ]; then
    die "apt provides libjpeg-turbo $dsc_version, but $VERSION is required; check the deb-src entries (scripts/setup.sh)"
  fi
  want_sha="$(awk -v f="$orig" '/^Checksums-Sha256:/ { s = 1; next } /^[^ ]/ { s = 0 }
                               s && $3 == f { print $1 }' "$dsc")"
  [ -n "$want_sha" ] && [ "$want_sha" = "$(sha256sum "$cache/$orig" | cut -d' ' -f1)" ]
}

if [ ! -f "$cache/$orig" ]; then
  fetch_source
  source_ok || die "$cache/$orig does not match its checksum"
elif ! source_ok; then
  say "the cached source package is damaged; fetching it again"
  rm -f "$cache"/libjpeg-turbo_*
  rm -rf "$srcdir"
  fetch_source
  source_ok || die "$cache/$orig does not match its checksum"
fi

# Only the upstream tarball is used: none of Debian's patches is needed to
# cross-build (they change timestamps, rpath handling, man pages and SIMD
# start-up in threaded programs).
if [ ! -f "$srcdir/.unpacked" ]; then
  rm -rf "$srcdir"
  mkdir -p "$srcdir"
  tar -xzf "$cache/$orig" -C "$srcdir" --strip-components=1
  touch "$srcdir/.unpacked"
fi

# --- Configure and build ------------------------------------------------------
say "configuring (log: $logdir/configure.log)"
# A fresh tree: one left by other flags, or by a copy of build/ from
# another checkout, would keep its old cache.
rm -rf "$blddir"
run_logged configure cmake -S "$srcdir" -B "$blddir" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-i686.cmake" \
  -DENABLE_SHARED=0 -DENABLE_STATIC=1 -DWITH_TURBOJPEG=0 \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$out" \
  -DCMAKE_C_FLAGS="$CFLAGS_EXTRA" -DREQUIRE_SIMD=1
# REQUIRE_SIMD makes configuring fail without nasm; confirm what it chose.
grep -q '^-- SIMD extensions: i386 (WITH_SIMD = 1)' "$logdir/configure.log" ||
  die "SIMD is not enabled (see $logdir/configure.log)"
nasm_used="$(sed -n 's/^CMAKE_ASM_NASM_COMPILER:FILEPATH=//p' "$blddir/CMakeCache.txt")"
[ "$(basename "${nasm_used:-none}")" = nasm ] || die "SIMD assembler is '${nasm_used:-none}', expected nasm"

say "building jpeg-static (log: $logdir/build.log)"
run_logged build ninja -C "$blddir" -j2 jpeg-static

lib="$blddir/libjpeg.a"
[ -f "$lib" ] || die "ninja did not produce $lib"
# The i386 SIMD kernels (nasm objects) must be inside the archive.
i686-w64-mingw32-nm --defined-only "$lib" | grep ' T _jsimd_idct_islow_sse2$' >/dev/null ||
  die "$lib lacks the SIMD kernels"

# --- Install what the plug-in needs -------------------------------------------
rm -f "$stamp"
install -d "$out/include" "$out/lib"
install -m 644 "$srcdir/jpeglib.h" "$srcdir/jmorecfg.h" "$srcdir/jerror.h" "$srcdir/jmemsys.h" \
  "$blddir/jconfig.h" "$out/include/"
install -m 644 "$lib" "$out/lib/libjpeg.a"

# --- Check the installed headers and library together -------------------------
check_src="$here/check-libjpeg-win32.c"
check_exe="$deps/check-libjpeg-win32.exe"
say "checking the headers with <windows.h> (C and C++, full and lean)"
for lean in "" "-DWIN32_LEAN_AND_MEAN"; do
  run_logged check-compile-c i686-w64-mingw32-gcc -std=c11 -Wall -Wextra -Werror ${lean:+"$lean"} \
    -I"$out/include" -fsyntax-only "$check_src"
  run_logged check-compile-cxx i686-w64-mingw32-g++ -std=c++17 -Wall -Wextra -Werror ${lean:+"$lean"} \
    -I"$out/include" -fsyntax-only -x c++ "$check_src"
done
run_logged check-link i686-w64-mingw32-gcc -std=c11 -O2 -Wall -Wextra -Werror \
  -I"$out/include" -o "$check_exe" "$check_src" "$out/lib/libjpeg.a"

if [ "${MOVRELA_NO_WINE:-0}" = 1 ]; then
  say "not running the check under Wine (MOVRELA_NO_WINE=1)"
else
  "$here/wine.sh" "$check_exe" || die "the check program failed under Wine"
  JSIMD_FORCENONE=1 "$here/wine.sh" "$check_exe" >/dev/null ||
    die "the check program failed under Wine without SIMD"
fi

echo "libjpeg-turbo $VERSION $CFLAGS_EXTRA" >"$stamp"
say "libjpeg-turbo $VERSION built into $out in $(elapsed) s"
