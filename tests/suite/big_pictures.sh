#!/usr/bin/env bash
# The real plug-in under Wine, in a host that left no free block above
# 500 MB (as a viewer's DLLs split its address space), on a 200 MP picture
# whose 600 MB bitmap therefore cannot be had: the wrapped decoder answers
# OutOfMemory, ours decodes at 1/2 with djpeg's bits, and the picture
# information keeps the true size. The same picture turned on its side by
# its Exif orientation and tagged with a colour profile comes turned, and
# its colours converted: pixels spread over it against djpeg's at 1/2
# converted by lcms2 (transicc). The pictures are made here, not kept.
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
echo "big_pictures: 16320 x 12240 shown at 8160 x 6120 with djpeg's bits"

# Turned a quarter clockwise (orientation 6), with the profile of the corpus
# picture it copies both from.
turned=$work/turned-16320x12240.jpg corpus=$here/../corpus/orientation/landscape_6.jpg
[ -s "$turned" ] || exiftool -q -n -tagsFromFile "$corpus" -ICC_Profile -Orientation -o "$turned" "$picture"
exiftool -b -ICC_Profile "$corpus" >"$work/profile.icc"
"${host[@]}" picture "$turned" "$work/ours.bmp" --reserve-largest 500
python3 - "$work/ours.bmp" "$work/djpeg.bmp" "$work/profile.icc" <<'PY'
import struct, subprocess, sys
def opened(name):
    f = open(name, "rb")
    head = f.read(54)
    offset, = struct.unpack_from("<I", head, 10)
    width, height = struct.unpack_from("<ii", head, 18)
    return f, offset, width, height
def pixel(bmp, x, y):  # R, G, B of picture row y (the rows are bottom-up)
    f, offset, width, height = bmp
    f.seek(offset + (height - 1 - y) * ((width * 3 + 3) & ~3) + 3 * x)
    b, g, r = f.read(3)
    return r, g, b
ours, upright = opened(sys.argv[1]), opened(sys.argv[2])
w, h = upright[2], upright[3]
if (ours[2], ours[3]) != (h, w):
    sys.exit(f"big_pictures: the turned picture came {ours[2]} x {ours[3]}, expected {h} x {w}")
spots = [(w * i // 7 + i * 131 % 97, h * j // 5 + j * 71 % 89) for i in range(7) for j in range(5)]
stored = [pixel(upright, x, y) for x, y in spots]
# A quarter turn clockwise: the stored (x, y) is shown at (h - 1 - y, x).
shown = [pixel(ours, h - 1 - y, x) for x, y in spots]
lcms = subprocess.run(["transicc", "-i" + sys.argv[3], "-t0", "-q", "-n"], text=True, check=True,
                      input="".join(f"{r}\n{g}\n{b}\n" for r, g, b in stored), capture_output=True)
expected = [tuple(round(float(v)) for v in line.split()) for line in lcms.stdout.splitlines()
            if line.strip() and line.split()[0][0].isdigit()]
off = [(s, e, o) for s, e, o in zip(spots, expected, shown) if e != o]
moved = sum(e != s for e, s in zip(expected, stored))  # spots the conversion changes
if len(expected) != len(spots) or off or moved == 0:
    sys.exit(f"big_pictures: turned colours off lcms2's at {off[:3]} ({moved} of {len(spots)} moved)")
PY
rm -f "$work/ours.bmp" "$work/djpeg.bmp" "$work/profile.icc"
echo "big_pictures: turned and tagged, 6120 x 8160 with lcms2's colours"
