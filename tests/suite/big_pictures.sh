#!/usr/bin/env bash
# The real plug-in under Wine, in a host that left no free block above
# 500 MB (as a viewer's DLLs split its address space), on a 200 MP picture
# whose 600 MB bitmap therefore cannot be had: the wrapped decoder answers
# OutOfMemory, ours decodes at 1/2 with djpeg's bits, and the picture
# information keeps the true size. The picture is made here, not kept.
#
#   tests/suite/big_pictures.sh WIN32_DIR WORK_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
win32=$1 work=$2
mkdir -p "$work"
picture=$work/baseline-16320x12240.jpg
"$here/../bench/big_picture.sh" 16320 12240 "$picture"

# The pixel rows of a .bmp file: from its bfOffBits on.
rows() { tail -c +$(($(od -An -t u4 -j 10 -N 4 "$1") + 1)) "$1"; }

wine=$here/../../scripts/wine.sh
# The default settings, whatever the suites before left in the prefix.
"$wine" reg delete 'HKCU\Software\Doru\movrela' /f >/dev/null 2>&1 || true
host=("$wine" "$win32/mqfhost.exe" "$win32/MOVRELA.MQF")
"${host[@]}" pictureinfo "$picture" --reserve-largest 500 | tr -d '\r' | grep -q '^size: 16320 x 12240$' ||
  { echo "big_pictures: the picture information lost the true size" >&2; exit 1; }
"${host[@]}" picture "$picture" "$work/ours.bmp" --reserve-largest 500
djpeg -scale 1/2 -bmp -outfile "$work/djpeg.bmp" "$picture"
width=$(od -An -t d4 -j 18 -N 4 "$work/ours.bmp" | tr -d ' ')
[ "$width" = 8160 ] || { echo "big_pictures: width $width, expected 8160" >&2; exit 1; }
cmp <(rows "$work/ours.bmp") <(rows "$work/djpeg.bmp") ||
  { echo "big_pictures: the half-size bits differ from djpeg's" >&2; exit 1; }
rm -f "$work/ours.bmp" "$work/djpeg.bmp"
echo "big_pictures: 16320 x 12240 shown at 8160 x 6120 with djpeg's bits"
