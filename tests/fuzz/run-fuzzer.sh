#!/usr/bin/env bash
# Runs one libFuzzer target for a set time over a working corpus seeded from
# the given files and folders (JPEGs are taken as they are) and the
# structure-aware seeds in tests/fuzz/seeds, with the formats' dictionary.
# An input that takes over 5 s or 512 MB fails like a crash. Inputs that once
# crashed it (tests/fuzz/regressions/FUZZER-NAME/) are replayed first.
#
# usage: run-fuzzer.sh FUZZER CORPUS_DIR SECONDS SEED...
set -euo pipefail
fuzzer=$1 corpus=$2 seconds=$3
shift 3
here=$(dirname "$0")
mkdir -p "$corpus"
for seed in "$@" "$here/seeds"; do
  if [ -d "$seed" ]; then
    find "$seed" -maxdepth 1 -type f -size -2M -exec cp -n {} "$corpus/" \;
  elif [ -f "$seed" ]; then
    cp -n "$seed" "$corpus/"
  fi
done
regressions=$(dirname "$0")/regressions/$(basename "$fuzzer")
if [ -d "$regressions" ] && [ -n "$(ls -A "$regressions")" ]; then
  "$fuzzer" -runs=1 "$regressions"/*
fi
artifacts=$(dirname "$corpus")/crashes-$(basename "$fuzzer")
mkdir -p "$artifacts"
exec "$fuzzer" -max_total_time="$seconds" -timeout=5 -rss_limit_mb=512 -dict="$here/movrela.dict" \
  -artifact_prefix="$artifacts/" -print_final_stats=1 "$corpus"
