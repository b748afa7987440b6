#!/usr/bin/env bash
# The fuzzing campaign: builds the libFuzzer targets (clang, AddressSanitizer
# and UndefinedBehaviorSanitizer) and runs each for MINUTES (default 20),
# one after another, seeded from the corpus and our samples. Crashes land in
# build/fuzz/tests/fuzz/crashes-NAME/; a table of executions, coverage,
# crashes and slow units is printed at the end. FUZZ_JOBS=N runs N targets at a time
# (default 1); each still gets MINUTES of its own.
#
# usage: [FUZZ_JOBS=N] scripts/fuzz.sh [MINUTES] [TARGET...]
set -uo pipefail
cd "$(dirname "$0")/.."
minutes=${1:-20}
shift || true
scripts/setup.sh >/dev/null && scripts/build-libjpeg-native.sh >/dev/null && scripts/build-fuzz.sh >/dev/null ||
  { echo "fuzz: build failed" >&2; exit 1; }
dir=build/fuzz/tests/fuzz
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  mapfile -t targets < <(find "$dir" -maxdepth 1 -type f -name '*_fuzzer' -printf '%f\n' | sort)
fi
export MOVRELA_WINROOT=$PWD/build/fuzz/winroot-campaign
report=build/fuzz/campaign.txt
printf '%-28s %12s %8s %8s %8s %8s %5s %5s\n' target executions cov features crashes timeouts oom slow > "$report"
run_target() {
  local t=$1 log=build/fuzz/campaign-$1.log corpus=$dir/corpus-$1
  # Seeds: what earlier runs gathered, plus the corpus and our samples.
  mkdir -p "$corpus" "$dir/crashes-$t"
  cp -n tests/corpus/*/*.jpg tests/samples/*.jpg tests/fuzz/seeds/* "$corpus/" 2>/dev/null
  # Budgets: an input that takes over 5 s or 512 MB is a failure.
  "$dir/$t" -max_total_time=$((minutes * 60)) -timeout=5 -rss_limit_mb=512 -report_slow_units=2 -dict=tests/fuzz/movrela.dict \
    -artifact_prefix="$dir/crashes-$t/" -print_final_stats=1 "$corpus" > "$log" 2>&1
  local execs cov ft crashes
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
  ft=$(grep -o 'ft: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
  # Crashes, leaks, timeouts and memory blow-ups are failures; libFuzzer's
  # slow units (over 10 s, often only a busy machine) are counted apart.
  count() { find "$dir/crashes-$t" -type f -name "$1-*" | wc -l; }
  crashes=$(( $(count crash) + $(count leak) ))
  printf '%-28s %12s %8s %8s %8s %8s %5s %5s\n' "$t" "${execs:-?}" "${cov:-?}" "${ft:-?}" "$crashes" \
    "$(count timeout)" "$(count oom)" "$(count slow-unit)" > "build/fuzz/campaign-$t.row"
  cat "build/fuzz/campaign-$t.row"
}
jobs=${FUZZ_JOBS:-1}
for t in "${targets[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n; done
  run_target "$t" &
done
wait
for t in "${targets[@]}"; do cat "build/fuzz/campaign-$t.row" >> "$report"; done
cat "$report"
