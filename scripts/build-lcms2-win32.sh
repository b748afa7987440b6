#!/usr/bin/env bash
# Cross-builds LittleCMS 2.14, from Debian's source package (with Debian's
# patches, security fixes among them), as a static i686 Windows library for
# linking into the plug-in: the core library alone, which is MIT-licensed.
# Its fast-float and threaded plug-ins are GPL-3 and never built.
#
#   scripts/build-lcms2-win32.sh [OUT_DIR]     (default <repo>/build/deps/lcms2-win32)
#
# Installs OUT_DIR/include/{lcms2.h,lcms2_plugin.h} and OUT_DIR/lib/liblcms2.a,
# then builds scripts/check-lcms2-win32.c against them and runs it under
# Wine. Leaves the patched source in <repo>/build/deps/lcms2-2.14, where the
# fuzz build compiles the same core with its instrumentation. Does nothing
# when both are already there. Downloads are cached in <repo>/build/deps/src.
set -euo pipefail

VERSION=2.14
t_start=$EPOCHREALTIME

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
repo="$(dirname "$here")"
out="$(realpath -m "${1:-$repo/build/deps/lcms2-win32}")"
deps="$repo/build/deps"
cache="$deps/src"
srcdir="$deps/lcms2-$VERSION"
blddir="$deps/lcms2-$VERSION-win32-build"
logdir="$deps/logs"
stamp="$out/.lcms2-version"
orig="lcms2_$VERSION.orig.tar.gz"

say() { echo "build-lcms2-win32: $*"; }
die() { echo "build-lcms2-win32: error: $*" >&2; exit 1; }
elapsed() { LC_ALL=C awk -v a="$t_start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.1f", b - a }'; }
# Runs a step quietly; on failure shows the end of its log.
run_logged() {
  local log="$logdir/lcms2-$1.log"; shift
  if ! "$@" >"$log" 2>&1; then
    tail -n 40 "$log" >&2
    die "'$*' failed (full log: $log)"
  fi
}

# The stamps hold the Debian version ("2.14-2+deb12u1"); any Debian revision
# of 2.14 will do.
done_already() {
  [ -f "$out/lib/liblcms2.a" ] && [ -f "$srcdir/.unpacked" ] &&
    case "$(cat "$stamp" 2>/dev/null)" in "lcms2 $VERSION-"*) true ;; *) false ;; esac
}

if done_already; then
  say "lcms2 $VERSION already in $out ($(elapsed) s)"
  exit 0
fi

for tool in apt-get dpkg-source make i686-w64-mingw32-gcc i686-w64-mingw32-ar \
  i686-w64-mingw32-nm; do
  command -v "$tool" >/dev/null || die "$tool not found (run scripts/setup.sh)"
done

mkdir -p "$cache" "$logdir"
# One build at a time per checkout; a second caller waits and then finds it done.
exec 9>"$deps/.lcms2-win32.lock"
flock -w 1800 9 || die "timed out waiting for $deps/.lcms2-win32.lock"
if done_already; then
  say "lcms2 $VERSION already in $out ($(elapsed) s)"
  exit 0
fi

# --- Source package -----------------------------------------------------------
fetch_source() {
  say "downloading the lcms2 source package"
  fetch() { (cd "$cache" && apt-get source --download-only lcms2); }
  if ! fetch >"$logdir/lcms2-apt-source.log" 2>&1; then
    # The package lists may be missing or stale (e.g. a new machine).
    local sudo_cmd=()
    [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo -n)
    run_logged apt-update "${sudo_cmd[@]}" apt-get update -q
    run_logged apt-source fetch
  fi
}

# The newest lcms2 .dsc in the cache, if any.
newest_dsc() { find "$cache" -maxdepth 1 -name 'lcms2_*.dsc' -print | sort -V | tail -n 1; }

# Checks that the cache holds a 2.14 package whose files all match the
# checksums of its .dsc (which apt checked against the signed archive index).
source_ok() {
  local dsc dsc_version upstream sha size name
  dsc="$(newest_dsc)"
  [ -n "$dsc" ] || return 1
  dsc_version="$(sed -n 's/^Version: *//p' "$dsc" | head -n 1)"
  upstream="${dsc_version#*:}"
  upstream="${upstream%-*}"
  [ "$upstream" = "$VERSION" ] ||
    die "apt provides lcms2 $dsc_version, but $VERSION is required;" \
      "check the deb-src entries (scripts/setup.sh)"
  [ -f "$cache/$orig" ] || return 1
  local listed=0
  while read -r sha size name; do
    [ -f "$cache/$name" ] && [ "$(sha256sum "$cache/$name" | cut -d' ' -f1)" = "$sha" ] || return 1
    listed=$((listed + 1))
  done < <(awk '/^Checksums-Sha256:/ { s = 1; next } /^[^ ]/ { s = 0 } s && NF == 3' "$dsc")
  [ "$listed" -ge 2 ]
}

if ! source_ok; then
  if [ -n "$(newest_dsc)" ]; then
    say "the cached source package is incomplete or damaged; fetching it again"
    rm -f "$cache"/lcms2_*
    rm -rf "$srcdir"
  fi
  fetch_source
  source_ok || die "the lcms2 source package in $cache does not match its checksums"
fi
dsc="$(newest_dsc)"
deb_version="$(sed -n 's/^Version: *//p' "$dsc" | head -n 1)"

# dpkg-source unpacks the tarball and applies Debian's patches (among them
# bounds on corrupted LUTs, which the plug-in reads from untrusted files).
if [ "$(cat "$srcdir/.unpacked" 2>/dev/null)" != "$deb_version" ]; then
  rm -rf "$srcdir" "$blddir"
  run_logged unpack dpkg-source -x "$dsc" "$srcdir"
  [ -f "$srcdir/src/cmsxform.c" ] || die "dpkg-source left no source in $srcdir"
  echo "$deb_version" >"$srcdir/.unpacked"
fi

# --- Configure and build (out of the source tree) -----------------------------
# No JPEG, TIFF or zlib (they serve only the command-line tools), no
# GPL-3 plug-ins. CMS_PTR_ALIGNMENT as Debian builds it: the library's own
# sub-allocations are aligned for doubles, not only for pointers. No
# gmtime_s: msvcrt.dll has it only from Windows Vista on, and the plug-in
# imports nothing older systems lack; the library then calls gmtime under
# its own lock.
rm -rf "$blddir"
mkdir -p "$blddir"
say "configuring (log: $logdir/lcms2-configure.log)"
run_logged configure env -C "$blddir" "$srcdir/configure" \
  --build="$(sh "$srcdir/config.guess")" --host=i686-w64-mingw32 \
  --enable-static --disable-shared --prefix="$out" \
  --without-jpeg --without-tiff --without-zlib \
  --without-fastfloat --without-threaded \
  CFLAGS="-O2 -g" CPPFLAGS="-DCMS_PTR_ALIGNMENT=8 -UHAVE_GMTIME_S"
grep -q '^checking whether we are cross compiling\.\.\. yes$' "$logdir/lcms2-configure.log" ||
  die "configure did not cross-compile (see $logdir/lcms2-configure.log)"

say "building the core library (log: $logdir/lcms2-build.log)"
run_logged build make -C "$blddir/src" -j2 liblcms2.la

lib="$blddir/src/.libs/liblcms2.a"
[ -f "$lib" ] || die "make did not produce $lib"
symbols="$(i686-w64-mingw32-nm --defined-only "$lib")"
grep -q ' T _cmsCreateTransform$' <<<"$symbols" || die "$lib lacks cmsCreateTransform"
# Nothing of the GPL-3 plug-ins may be inside.
if grep -E ' T _cms(FastFloat|Threaded)Extensions$' <<<"$symbols"; then
  die "$lib holds a GPL-3 plug-in"
fi

# --- Install what the plug-in needs -------------------------------------------
rm -f "$stamp"
install -d "$out/include" "$out/lib"
install -m 644 "$srcdir/include/lcms2.h" "$srcdir/include/lcms2_plugin.h" "$out/include/"
install -m 644 "$lib" "$out/lib/liblcms2.a"

# --- Check the installed header and library together --------------------------
check_src="$here/check-lcms2-win32.c"
check_exe="$deps/check-lcms2-win32.exe"
say "checking the headers with <windows.h> and the library under Wine"
# C++17 has no 'register': C++ code includes lcms2.h with
# CMS_NO_REGISTER_KEYWORD (CMakeLists.txt sets it for every user).
run_logged check-compile-cxx i686-w64-mingw32-g++ -std=c++17 -Wall -Wextra -Werror \
  -DWIN32_LEAN_AND_MEAN -DCMS_NO_REGISTER_KEYWORD=1 -I"$out/include" \
  -fsyntax-only -x c++ "$check_src"
run_logged check-link i686-w64-mingw32-gcc -std=c11 -O2 -Wall -Wextra -Werror \
  -I"$out/include" -o "$check_exe" "$check_src" "$out/lib/liblcms2.a" -static
if [ "${MOVRELA_NO_WINE:-0}" = 1 ]; then
  say "not running the check under Wine (MOVRELA_NO_WINE=1)"
else
  "$here/wine.sh" "$check_exe" || die "the check program failed under Wine"
fi

echo "lcms2 $deb_version" >"$stamp"
say "lcms2 $deb_version built into $out in $(elapsed) s"
