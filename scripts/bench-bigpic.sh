#!/usr/bin/env bash
# Benchmark: very large pictures through the real plug-in under Wine, in a
# host that left no free block above 500 MB (as a viewer's DLLs split its
# address space), against the plug-in's own full-size decode of a 102 MP
# baseline picture in the same rounds (farm-bench: the two in turn, the
# ratio taken pair by pair). Checks each result on the way: its size, and
# djpeg's bits at the scale it came at; and that the temporary folder is
# left empty. Pictures are made here (tests/bench/big_picture.sh) and kept
# in build/bench/big (about 1 GB).
#
# usage: scripts/bench-bigpic.sh [RUNS]     (default 3)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
runs=${1:-3}
scripts/build.sh --win32-only >/dev/null
work=$root/build/bench/big
mkdir -p "$work"
make=tests/bench/big_picture.sh
$make 11700 8720 "$work/baseline-102mp.jpg"
$make 16320 12240 "$work/baseline-200mp.jpg"
$make 16320 12240 "$work/progressive-200mp.jpg" -progressive
$make 30000 20000 "$work/baseline-600mp.jpg"
$make 30000 20000 "$work/progressive-600mp.jpg" -progressive
# Turned on its side and tagged with a colour profile, as the corpus
# picture it copies them from.
if [ ! -s "$work/turned-200mp.jpg" ]; then
  exiftool -q -n -tagsFromFile tests/corpus/orientation/landscape_6.jpg -ICC_Profile -Orientation \
    -o "$work/turned-200mp.jpg" "$work/baseline-200mp.jpg"
fi

source scripts/wine.sh
wine reg delete 'HKCU\Software\Doru\movrela' /f >/dev/null 2>&1 || true # the defaults
temp=$(ls -d "$WINEPREFIX"/drive_c/users/*/Temp 2>/dev/null | head -1)
host="$root/build/win32/mqfhost.exe"
plugin="$root/build/win32/MOVRELA.MQF"
one() { # PICTURE OUT: one decode in the reserved host
  wine "$host" "$plugin" picture "$1" "$2" --reserve-largest 500 >/dev/null
}
export -f one
export host plugin WINEPREFIX WINEARCH WINEDEBUG WINEDLLOVERRIDES

rows() { tail -c +$(($(od -An -t u4 -j 10 -N 4 "$1") + 1)) "$1"; }
size() { echo "$(od -An -t d4 -j 18 -N 4 "$1" | tr -d ' ') x $(od -An -t d4 -j 22 -N 4 "$1" | tr -d ' ')"; }

for name in baseline-200mp progressive-200mp baseline-600mp progressive-600mp turned-200mp; do
  picture=$work/$name.jpg out=$work/$name.bmp
  before=$(ls -A "$temp" 2>/dev/null | wc -l)
  one "$picture" "$out"
  after=$(ls -A "$temp" 2>/dev/null | wc -l)
  got=$(size "$out")
  verdict="size $got"
  case $got in
    "8160 x 6120") scale=2 ;; "7500 x 5000") scale=4 ;; "15000 x 10000") scale=2 ;;
    "3750 x 2500") scale=8 ;; *) scale= ;;
  esac
  if [ -n "$scale" ] && [ "$name" != turned-200mp ]; then
    if cmp -s <(rows "$out") <(djpeg -scale 1/$scale -bmp "$picture" | tail -c +55); then
      verdict="$verdict, djpeg's bits at 1/$scale"
    else
      verdict="$verdict, NOT djpeg's bits at 1/$scale"
    fi
  fi
  verdict="$verdict, temporary files left: $((after - before))"
  rm -f "$out"
  echo "== $name: $verdict"
  # NUL: the bitmap is made and dropped, not written.
  farm-bench -n "$runs" --timeout 3000 --vs "bash -c 'one $work/baseline-102mp.jpg NUL'" \
    -- bash -c "one $picture NUL"
done
