#!/usr/bin/env bash
# Benchmark: the internal decoder (file input, the whole picture into the
# host's bitmap pair) against djpeg -bmp of the same libjpeg-turbo on the
# same file, on a large picture (6000 x 4000, made from a corpus picture)
# and a small one. Prints wall times, peak memory and the ratios, and
# "@row" lines for scripts/bench.sh's table.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
scripts/setup.sh >/dev/null
scripts/build-libjpeg-native.sh >/dev/null
cmake -S . -B build/bench -G Ninja -Wno-dev -DMOVRELA_SANITIZE=OFF -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/bench --target decode_bench -j2 >/dev/null

work=build/bench/pictures
mkdir -p "$work"
corpus=$root/tests/corpus/camera
[ -f "$work/large.jpg" ] ||
  convert "$corpus/Canon_40D.jpg" -resize '6000x4000!' -quality 90 "$work/large.jpg"
[ -f "$work/small.jpg" ] ||
  convert "$corpus/Canon_40D.jpg" -resize '640x480!' -quality 90 "$work/small.jpg"

export MOVRELA_WINROOT=$root/build/bench/winroot
bench=build/bench/tests/decode_bench
for picture in large small; do
  file=$work/$picture.jpg
  runs=$([ $picture = large ] && echo 10 || echo 50)
  hyperfine -N --warmup 2 --runs "$runs" --export-json "$work/$picture.json" \
    "djpeg -bmp -outfile /dev/null $file" "$bench $file 1" >/dev/null
  read -r djpeg ours < <(python3 -c "
import json,sys
r=json.load(open('$work/$picture.json'))['results']
print(r[0]['mean'], r[1]['mean'])")
  djpegMem=$(/usr/bin/time -f %M djpeg -bmp -outfile /dev/null "$file" 2>&1 >/dev/null | tail -1)
  oursMem=$(/usr/bin/time -f %M "$bench" "$file" 1 2>&1 >/dev/null | tail -1)
  size=$(identify -format '%wx%h' "$file")
  python3 -c "
print('%-6s %-10s djpeg %8.1f ms %7d KiB | decodeInternally %8.1f ms %7d KiB | time x%.3f memory x%.3f' % (
  '$picture', '$size', $djpeg*1000, $djpegMem, $ours*1000, $oursMem, $ours/$djpeg, $oursMem/$djpegMem))
print('@row\tdecodeInternally, $size file, wall time\t%.1f ms\tdjpeg -bmp\t%.1f ms\t%.3f\t<= 1.05' % (
  $ours*1000, $djpeg*1000, $ours/$djpeg))
print('@row\tdecodeInternally, $size file, peak memory\t%d KiB\tdjpeg -bmp\t%d KiB\t%.3f\t<= 1.1' % (
  $oursMem, $djpegMem, $oursMem/$djpegMem))"
done

# Per decode without process start-up: 50 decodes of the small picture in one
# process, against one decode per process for djpeg.
start=$(date +%s%N)
"$bench" "$work/small.jpg" 50
end=$(date +%s%N)
python3 -c "print('small, in one process: %.2f ms per decode' % (($end - $start) / 50 / 1e6))"
small=$(python3 -c "import json; print(json.load(open('$work/small.json'))['results'][0]['mean'])")
python3 -c "
ours = ($end - $start) / 50 / 1e6
print('@row\tdecodeInternally, 640x480, per decode in one process\t%.2f ms\tdjpeg -bmp, whole process\t%.2f ms\t%.3f\t-' % (
  ours, $small * 1000, ours / ($small * 1000)))"
