#!/usr/bin/env bash
# Every benchmark in one run, as one table: builds the native tree without
# sanitizers (build/bench) and runs the internal decoder against djpeg
# (time and peak memory), the plug-in's exports against bare libjpeg calls,
# and the camera containers' post-processors against their yardsticks.
# The exports' benchmark runs a second time as a Windows program under Wine,
# where the settings come from the real (Wine) registry ("Wine:" rows).
# Every ratio is ours over the peer measured in the same run. The programs'
# own output goes to build/bench/details.txt.
#
# usage: scripts/bench.sh
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
scripts/setup.sh >/dev/null
scripts/build-libjpeg-native.sh >/dev/null
cmake -S . -B build/bench -G Ninja -Wno-dev -DMOVRELA_SANITIZE=OFF -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/bench --target decode_bench plugin_bench profile_bench containers_bench kernel_bench movrela quorel fake_full -j2 >/dev/null
scripts/build-libjpeg-win32.sh >/dev/null
scripts/build-lcms2-win32.sh >/dev/null
scripts/build.sh --win32-only >/dev/null
export MOVRELA_WINROOT=$root/build/bench/winroot

details=build/bench/details.txt
large=$root/build/bench/large.jpg

# Memory a full decode of the large picture adds to a process of its own:
# the median of three runs each of libjpeg alone, quorel.mqf and the
# internal decoder, as "@row" lines. $1: row prefix; the rest: the program.
memory_rows() {
  local prefix=$1
  shift
  local which figures=() turned=()
  for which in floor quorel internal; do
    figures+=("$(for run in 1 2 3; do "$@" --memory "$which" "$large"; done | tr -d '\r' | sort -n | sed -n 2p)")
    turned+=("$(for run in 1 2 3; do "$@" --memory "$which" "$large.turned.jpg"; done | tr -d '\r' | sort -n | sed -n 2p)")
  done
  local i names=("" "through quorel.mqf" "internal decoder")
  for i in 1 2; do
    awk -v p="$prefix" -v n="${names[$i]}" -v ours="${figures[$i]}" -v floor="${figures[0]}" 'BEGIN {
      printf "@row\t%sGetPicture 6000 x 4000, %s: memory added\t%.1f MB\tlibjpeg into a bottom-up BGR buffer\t%.1f MB\t%.3f\t<= 1.02\n",
        p, n, ours / 1048576, floor / 1048576, ours / floor }'
    # Orientation 6: at most one more bits block (6000 x 4000 x 3 bytes) than orientation 1.
    awk -v p="$prefix" -v n="${names[$i]}" -v ours="${turned[$i]}" -v upright="${figures[$i]}" 'BEGIN {
      printf "@row\t%sGetPicture 6000 x 4000 orientation 6, %s: memory added\t%.1f MB\tthe same with orientation 1\t%.1f MB\t%.2f bits blocks more\t<= 1\n",
        p, n, ours / 1048576, upright / 1048576, (ours - upright) / 72000000 }'
  done
}

# Pictures for the scan floods, from a detailed photograph (the corpus's
# phone original): 4000 x 4000 with libjpeg's
# progression, with luminance AC at Al 1 then refined, and one sequential
# scan per component; and 6000 x 4000 progressive for the walk.
scans=$root/build/bench/pictures/scans
scan_pictures() {
  mkdir -p "$scans"
  [ -f "$scans/large.jpg" ] && return
  local source=$root/tests/corpus/phone/iphone_hdr_NO.jpg
  convert "$source" -resize '4000x4000!' "$scans/base.ppm"
  cjpeg -quality 90 -progressive -outfile "$scans/progressive.jpg" "$scans/base.ppm"
  printf '0,1,2: 0 0 0 0;\n0: 1 63 0 1;\n0: 1 63 1 0;\n1: 1 63 0 0;\n2: 1 63 0 0;\n' > "$scans/pairs.txt"
  cjpeg -quality 90 -scans "$scans/pairs.txt" -outfile "$scans/pairs.jpg" "$scans/base.ppm"
  printf '0: 0 63 0 0;\n1: 0 63 0 0;\n2: 0 63 0 0;\n' > "$scans/sequential.txt"
  cjpeg -quality 90 -scans "$scans/sequential.txt" -outfile "$scans/sequential.jpg" "$scans/base.ppm"
  convert "$source" -resize '6000x4000!' "$scans/base.ppm"
  cjpeg -quality 90 -progressive -outfile "$scans/large.jpg" "$scans/base.ppm"
  rm -f "$scans/base.ppm" "$scans/pairs.txt" "$scans/sequential.txt"
}

# The internal decoder (decode_bench, file input) on each flood written by
# plugin_bench --scans, against its picture: medians of 5 runs.
internal_flood_rows() {
  local row flood picture label
  for row in "refinement:progressive:last refinement scan" "ac-first:progressive:luminance AC first scan" \
    "dc:progressive:DC scan" "pairs:pairs:rising-Al pair" "sequential:sequential:sequential luminance scan"; do
    IFS=: read -r flood picture label <<< "$row"
    hyperfine -N -i --warmup 1 --runs 5 --export-json "$scans/$flood.json" \
      "build/bench/tests/decode_bench $scans/flood-$flood.jpg" \
      "build/bench/tests/decode_bench $scans/$picture.jpg" >/dev/null 2>&1
    python3 -c "
import json
r = json.load(open('$scans/$flood.json'))['results']
ours, peer = r[0]['median'] * 1000, r[1]['median'] * 1000
print('@row\tinternal decoder: $label repeated, refused\t%.1f ms\tits picture decoded\t%.1f ms\t%.3f\t<= 1.5' % (ours, peer, ours / peer))"
  done
}

{
  echo "== internal decoder against djpeg -bmp (same libjpeg-turbo, same file)"
  scripts/bench-decode.sh 2>/dev/null | grep -v -i -E 'warning|^ *$'
  echo
  echo "== plug-in exports"
  PLUGIN_BENCH_KEEP=$large build/bench/tests/plugin_bench "$root/build/bench/MOVRELA.MQF" "$root/tests/corpus/camera/Canon_40D.jpg"
  memory_rows "" build/bench/tests/plugin_bench "$root/build/bench/MOVRELA.MQF"
  echo
  echo "== plug-in exports, Windows build under Wine"
  WINEPREFIX_DIR=$root/build/wineprefix-bench scripts/wine.sh build/win32/plugin_bench.exe \
    "$root/build/win32/MOVRELA.MQF" "$root/tests/corpus/camera/Canon_40D.jpg" |
    sed 's/^@row\t/@row\tWine: /'
  memory_rows "Wine: " env WINEPREFIX_DIR="$root/build/wineprefix-bench" scripts/wine.sh \
    build/win32/plugin_bench.exe "$root/build/win32/MOVRELA.MQF"
  echo
  echo "== colour management: tagged pictures at ColorManagement 1 or 2 against the same build at 0"
  build/bench/tests/plugin_bench "$root/build/bench/MOVRELA.MQF" --colour "$large"
  WINEPREFIX_DIR=$root/build/wineprefix-bench scripts/wine.sh build/win32/plugin_bench.exe \
    "$root/build/win32/MOVRELA.MQF" --colour "$large" | sed 's/^@row\t/@row\tWine: /'
  WINEPREFIX_DIR=$root/build/wineprefix-bench scripts/wine.sh build/win32/plugin_bench.exe \
    "$root/build/win32/MOVRELA.MQF" --early "$large" | sed 's/^@row\t/@row\tWine: /'
  for folder in camera orientation; do
    build/bench/tests/plugin_bench "$root/build/bench/MOVRELA.MQF" --browse "tests/corpus/$folder" \
      "$root"/tests/corpus/$folder/*.jpg
    WINEPREFIX_DIR=$root/build/wineprefix-bench scripts/wine.sh build/win32/plugin_bench.exe \
      "$root/build/win32/MOVRELA.MQF" --browse "tests/corpus/$folder" "$root"/tests/corpus/$folder/*.jpg |
      sed 's/^@row\t/@row\tWine: /'
  done
  echo
  echo "== colour profiles: the transform's making, the digest, the cache (the corpus's profiles too)"
  mkdir -p build/bench/profiles
  for picture in tests/corpus/*/*.jpg; do
    exiftool -q -b -ICC_Profile "$picture" > "build/bench/profiles/$(basename "$picture" .jpg).icc" 2>/dev/null || true
  done
  find build/bench/profiles -name '*.icc' -empty -delete
  build/bench/tests/profile_bench build/bench/profiles/*.icc
  echo
  echo "== colour kernels alone on 6000 x 4000 (medians of 7), natively and under Wine"
  build/bench/tests/kernel_bench time 7
  WINEPREFIX_DIR=$root/build/wineprefix-bench scripts/wine.sh build/win32/kernel_bench.exe time 7 |
    sed 's/^@time\t/@time\tWine: /'
  echo "== every RGB colour through each matrix kernel against lcms2"
  build/bench/tests/kernel_bench sweep || true
  WINEPREFIX_DIR=$root/build/wineprefix-bench scripts/wine.sh build/win32/kernel_bench.exe sweep |
    sed 's/^@sweep\t/@sweep\tWine: /' || true
  echo
  echo "== scan floods refused, against the decode of their picture; the walk over a large file's scans"
  scan_pictures
  build/bench/tests/plugin_bench "$root/build/bench/MOVRELA.MQF" --scans "$scans"
  WINEPREFIX_DIR=$root/build/wineprefix-bench scripts/wine.sh build/win32/plugin_bench.exe \
    "$root/build/win32/MOVRELA.MQF" --scans "$scans" | sed 's/^@row\t/@row\tWine: /'
  internal_flood_rows
  echo
  echo "== camera containers (median of 10)"
  build/bench/tests/containers_bench 10
} > "$details"

echo "$(nproc) cores, $(uname -m), Release builds (native unless marked Wine); details in $details"
grep '^@row' "$details" | python3 -c '
import sys
rows = [line.rstrip("\r\n").split("\t")[1:] for line in sys.stdin]
head = ["Measure", "Ours", "Peer", "Peer figure", "Ratio", "Target"]
widths = [max(len(r[i]) for r in rows + [head]) for i in range(len(head))]
def show(r): print("| " + " | ".join(c.ljust(w) for c, w in zip(r, widths)) + " |")
show(head)
print("|" + "|".join("-" * (w + 2) for w in widths) + "|")
for r in rows: show(r)
'
echo
grep -h -E '^@(time|sweep)' "$details" | cut -f2- | tr -d '\r'

