#!/usr/bin/env bash
# Makes the decoder's comparison set in OUT_DIR: JPEG files of every coding
# kind (made with cjpeg from a corpus picture) and the camera pictures of the
# corpus, each with the bitmap djpeg makes of it (NAME.bmp), the reference
# the internal decoder must match byte for byte.
#
# usage: tests/make-decoder-samples.sh OUT_DIR [MAKE_CMYK]
#   MAKE_CMYK: the tests' program that writes CMYK and YCCK pictures
set -euo pipefail
out=$1
here=$(cd "$(dirname "$0")" && pwd)
corpus=$here/corpus
rm -rf "$out"
mkdir -p "$out"

base=$out/base.ppm
djpeg -pnm -outfile "$base" "$corpus/camera/Canon_40D.jpg"
grey=$out/base.pgm
djpeg -grayscale -pnm -outfile "$grey" "$corpus/camera/Canon_40D.jpg"

cjpeg -quality 90 -outfile "$out/colour.jpg" "$base"
cjpeg -quality 75 -sample 1x1 -outfile "$out/colour-444.jpg" "$base"
cjpeg -quality 85 -sample 2x1 -outfile "$out/colour-422.jpg" "$base"
cjpeg -quality 90 -outfile "$out/grey.jpg" "$grey"
cjpeg -quality 90 -progressive -outfile "$out/progressive.jpg" "$base"
cjpeg -quality 90 -arithmetic -outfile "$out/arithmetic.jpg" "$base"
cjpeg -quality 90 -restart 2 -outfile "$out/restart.jpg" "$base"
cjpeg -quality 90 -optimize -progressive -outfile "$out/grey-progressive.jpg" "$grey"
cjpeg -quality 85 -optimize -progressive -outfile "$out/progressive-optimized.jpg" "$base"
# Sequential, one scan per component.
printf '0: 0 63 0 0;\n1: 0 63 0 0;\n2: 0 63 0 0;\n' > "$out/scans.txt"
cjpeg -quality 90 -scans "$out/scans.txt" -outfile "$out/component-scans.jpg" "$base"
rm "$out/scans.txt"

# Four-component pictures, which cjpeg cannot write.
if [ -n "${2:-}" ]; then "$2" "$out"; fi

# libjpeg-turbo's own test pictures, from the source the library is built from.
for picture in "$here"/../build/deps/libjpeg-turbo-2.1.5/testimages/*.jpg; do
  [ -f "$picture" ] && cp "$picture" "$out/libjpeg-$(basename "$picture")"
done

for picture in "$corpus"/camera/*.jpg "$corpus"/exif-org/*.jpg; do
  name=$(basename "$picture" .jpg)
  cp "$picture" "$out/corpus-$name.jpg"
done

# The eight Exif orientations, and a grey picture with one that exchanges
# the sides: orientation-N is stored with orientation N (the references
# are djpeg's bitmaps of the stored pictures; the suites turn them).
for n in 1 2 3 4 5 6 7 8; do
  cp "$corpus/orientation/landscape_$n.jpg" "$out/orientation-$n.jpg"
  # The colour profile it carries (empty when none), for the colour cases.
  exiftool -q -b -ICC_Profile "$out/orientation-$n.jpg" > "$out/orientation-$n.icc" || true
done
djpeg -grayscale -pnm "$corpus/orientation/landscape_5.jpg" |
  cjpeg -quality 90 -outfile "$out/grey-unturned.jpg"
exiftool -q -n -Orientation=5 -o "$out/orientation-grey-5.jpg" "$out/grey-unturned.jpg"
rm -f "$out/grey-unturned.jpg"

for jpeg in "$out"/*.jpg; do
  # Pictures djpeg itself cannot decode are no reference.
  djpeg -bmp -outfile "${jpeg%.jpg}.bmp" "$jpeg" 2>/dev/null || rm -f "$jpeg" "${jpeg%.jpg}.bmp"
done
rm -f "$base" "$grey"
(cd "$out" && ls *.bmp | sed "s/\.bmp$//") > "$out/index.txt"
# Pictures decoded smaller when memory is short, outside the index:
# 2000 x 1500 (big enough that each scale's bitmap outweighs the library's
# own blocks), with djpeg's bitmaps at full size and at 1/2, 1/4 and 1/8
# (NAME.bmp, NAME.scale-N).
big=$here/bench/big_picture.sh
"$big" 2000 1500 "$out/big-colour.jpg"
"$big" 2000 1500 "$out/big-progressive.jpg" -progressive
"$big" 2000 1500 "$out/big-grey.jpg" -grayscale
exiftool -q -n -Orientation=6 -o "$out/orientation-big-6.jpg" "$out/big-colour.jpg"
for name in big-colour big-progressive big-grey orientation-big-6; do
  djpeg -bmp -outfile "$out/$name.bmp" "$out/$name.jpg"
  for n in 2 4 8; do djpeg -scale 1/$n -bmp -outfile "$out/$name.scale-$n" "$out/$name.jpg"; done
done
echo "$(ls "$out"/*.bmp | wc -l) reference bitmaps in $out"
