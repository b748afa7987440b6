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
cmake --build build/bench --target decode_bench plugin_bench containers_bench movrela quorel -j2 >/dev/null
scripts/build-libjpeg-win32.sh >/dev/null
scripts/build.sh --win32-only >/dev/null
export MOVRELA_WINROOT=$root/build/bench/winroot

details=build/bench/details.txt
{
  echo "== internal decoder against djpeg -bmp (same libjpeg-turbo, same file)"
  scripts/bench-decode.sh 2>/dev/null | grep -v -i -E 'warning|^ *$'
  echo
  echo "== plug-in exports"
  build/bench/tests/plugin_bench build/bench/MOVRELA.MQF "$root/tests/corpus/camera/Canon_40D.jpg"
  echo
  echo "== plug-in exports, Windows build under Wine"
  WINEPREFIX_DIR=$root/build/wineprefix-bench scripts/wine.sh build/win32/plugin_bench.exe \
    "$root/build/win32/MOVRELA.MQF" "$root/tests/corpus/camera/Canon_40D.jpg" |
    sed 's/^@row\t/@row\tWine: /'
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
