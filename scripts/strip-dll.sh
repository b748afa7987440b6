#!/usr/bin/env bash
# Makes the shipped form of a Windows DLL: OUT without debug information or
# COFF symbols, and OUT.debug beside it with the debug information, which a
# debugger finds through OUT's debug link.
#
# usage: scripts/strip-dll.sh DLL OUT
set -euo pipefail
in=$1 out=$2
cp "$in" "$out"
i686-w64-mingw32-objcopy --only-keep-debug "$out" "$out.debug"
i686-w64-mingw32-strip --strip-all "$out"
# The link holds the debug file's name alone: it is looked for beside OUT.
(cd "$(dirname "$out")" && i686-w64-mingw32-objcopy --add-gnu-debuglink="$(basename "$out").debug" "$(basename "$out")")
