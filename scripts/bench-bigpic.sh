#!/usr/bin/env bash
# Benchmark: very large pictures through the real plug-in under Wine, in a
# host that left no free block above 500 MB (as a viewer's DLLs split its
# address space), against the plug-in's own full-size decode of a 102 MP
# baseline picture in the same rounds (farm-bench: the two in turn). The
# figure that counts is the GetPicture call's own time, which mqfhost
# prints (--time): the median of each over the runs, and their ratio; the
# whole processes' figures follow, Wine's start-up of about a second in
# both. Checks each result on the way: its size, and djpeg's bits at the
# scale it came at; and that the temporary folder is left empty. Pictures
# are made here (tests/bench/big_picture.sh) and kept in build/bench/big
# (about 1.5 GB).
#
# usage: scripts/bench-bigpic.sh [RUNS [NAME...]]   (default 3 runs of every
#        picture; NAME as printed, e.g. baseline-200mp)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
runs=${1:-3}
shift $(($# > 0 ? 1 : 0))
names=${*:-baseline-200mp progressive-200mp baseline-600mp progressive-600mp turned-200mp}
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
one() { # PICTURE OUT [TIMES]: one decode in the reserved host; the call's
         # time is added to TIMES
  wine "$host" "$plugin" picture "$1" "$2" --reserve-largest 500 --time |
    tr -d '\r' | sed -n 's/^GetPicture: \([0-9.]*\) ms$/\1/p' >>"${3:-/dev/null}"
}
export -f one
export host plugin WINEPREFIX WINEARCH WINEDEBUG WINEDLLOVERRIDES

# The calls' median times (the warm-up's, first in each file, left out)
# and their ratio.
calls() { # NAME BIG_TIMES BASELINE_TIMES
  python3 - "$@" <<'PY'
import statistics, sys
name, big, base = sys.argv[1], *(
    [float(x) for x in open(f).read().split()][1:] for f in sys.argv[2:])
if not big or len(big) != len(base):
    sys.exit(f"== {name}: the call's time is missing from some runs")
b, a = statistics.median(big), statistics.median(base)
print(f"== {name}: call {b / 1000:.2f} s against 102 MP {a / 1000:.2f} s (medians of {len(big)}):"
      f" ratio {b / a:.2f} (pair by pair {statistics.median(x / y for x, y in zip(big, base)):.2f})")
PY
}

rows() { tail -c +$(($(od -An -t u4 -j 10 -N 4 "$1") + 1)) "$1"; }
size() { echo "$(od -An -t d4 -j 18 -N 4 "$1" | tr -d ' ') x $(od -An -t d4 -j 22 -N 4 "$1" | tr -d ' ')"; }

for name in $names; do
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
  rm -f "$work/$name.times" "$work/$name.base-times"
  farm-bench -n "$runs" --timeout 3000 \
    --vs "bash -c 'one $work/baseline-102mp.jpg NUL $work/$name.base-times'" \
    -- bash -c "one $picture NUL $work/$name.times"
  calls "$name" "$work/$name.times" "$work/$name.base-times"
done
