#!/usr/bin/env bash
# The fuzzing campaign: builds the libFuzzer targets (clang, AddressSanitizer
# and UndefinedBehaviorSanitizer) and runs each for MINUTES (default 20),
# one after another, seeded from the corpus and our samples. Each target
# runs in libFuzzer's fork mode, so that a crash, time-out or out-of-memory
# case is kept and the target goes on for the rest of its minutes. Inputs
# that fail land in build/fuzz/tests/fuzz/crashes-NAME/; a table of
# executions, coverage, the failures of this run and slow units, with a
# status per target, is printed at the end. FUZZ_JOBS=N runs N targets at a
# time (default 1); each still gets MINUTES of its own.
#
# Fork mode may keep an input that failed under its own name for any
# failure (a time-out as crash-...), so each failing input of this run is
# run again alone, with the same limits, and counted (and named) by what
# it does then: crash, leak, time-out or out-of-memory.
#
# FUZZ_SECONDS, FUZZ_TIMEOUT (default 5), FUZZ_TARGETS_DIR (default
# build/fuzz/tests/fuzz, built here) and FUZZ_WORK (corpora, failing
# inputs, logs and the table; default beside the targets) serve the tests,
# which run a planted endless loop through this script.
#
# Exit status: 0 when no target failed, 1 when any had a crash (a work
# bound passed included), a leak, a time-out or an out-of-memory case, or
# did not run.
#
# usage: [FUZZ_JOBS=N] scripts/fuzz.sh [MINUTES] [TARGET...]
set -uo pipefail
cd "$(dirname "$0")/.."
minutes=${1:-20}
shift || true
seconds=${FUZZ_SECONDS:-$((minutes * 60))} timeout=${FUZZ_TIMEOUT:-5}
bin=${FUZZ_TARGETS_DIR:-build/fuzz/tests/fuzz}
if [ -z "${FUZZ_TARGETS_DIR:-}" ]; then
  scripts/setup.sh >/dev/null && scripts/build-libjpeg-native.sh >/dev/null && scripts/build-fuzz.sh >/dev/null ||
    { echo "fuzz: build failed" >&2; exit 1; }
fi
dir=${FUZZ_WORK:-$bin} logs=${FUZZ_WORK:-build/fuzz}
mkdir -p "$dir" "$logs"
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  mapfile -t targets < <(find "$bin" -maxdepth 1 -type f -name '*_fuzzer' -printf '%f\n' | sort)
fi
export MOVRELA_WINROOT=${MOVRELA_WINROOT:-$PWD/build/fuzz/winroot-campaign}
report=$logs/campaign.txt
row() { printf '%-28s %12s %8s %8s %8s %8s %5s %5s  %s\n' "$@"; }
row target executions cov features crashes timeouts oom slow status > "$report"
# The kind of failure the input in file $2 is to target $1, run alone with
# the campaign's limits: crash, leak, timeout, oom, or its fork-mode name
# when it does not fail alone.
kind_alone() {
  local out code
  out=$("$bin/$1" -runs=1 -timeout="$timeout" -rss_limit_mb=512 "$2" 2>&1)
  code=$?
  case $out in
    *"ERROR: libFuzzer: timeout"*) echo timeout ;;
    *"ERROR: libFuzzer: out-of-memory"*) echo oom ;;
    *"ERROR: LeakSanitizer"*) echo leak ;;
    *) if [ "$code" -ne 0 ]; then echo crash; else basename "$2" | sed 's/-[^-]*$//'; fi ;;
  esac
}
run_target() {
  local t=$1 log=$logs/campaign-$1.log corpus=$dir/corpus-$1 started=$logs/campaign-$1.started
  rm -f "$logs/campaign-$t.row"
  # Seeds: what earlier runs gathered, plus the corpus and our samples.
  mkdir -p "$corpus" "$dir/crashes-$t"
  cp -n tests/corpus/{camera,exif-org,invalid,orientation}/*.jpg tests/samples/*.jpg tests/fuzz/seeds/* "$corpus/" 2>/dev/null
  touch "$started"
  # Budgets: an input that takes over 5 s or 512 MB is a failure. One job at
  # a time, restarted after each failure until the minutes are used.
  "$bin/$t" -fork=1 -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1 \
    -max_total_time="$seconds" -timeout="$timeout" -rss_limit_mb=512 -report_slow_units=2 \
    -dict=tests/fuzz/movrela.dict -artifact_prefix="$dir/crashes-$t/" "$corpus" > "$log" 2>&1
  local code=$? execs cov ft
  # Fork mode's progress lines: "#RUNS: cov: N ft: N corp: ...".
  execs=$(sed -n 's/^#\([0-9]*\): cov:.*/\1/p' "$log" | tail -1)
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
  ft=$(grep -o 'ft: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
  # This run's artifacts, each named anew by what it does alone. Crashes,
  # leaks, time-outs and memory blow-ups are failures; slow units (over 2 s,
  # often only a busy machine) are counted apart.
  local file kind
  while read -r file; do
    kind=$(kind_alone "$t" "$file")
    [ "$kind" = "$(basename "$file" | sed 's/-[^-]*$//')" ] ||
      mv "$file" "$(dirname "$file")/$kind-${file##*-}"
  done < <(find "$dir/crashes-$t" -type f \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' \
             -o -name 'oom-*' \) -newer "$started")
  count() { find "$dir/crashes-$t" -type f -name "$1-*" -newer "$started" | wc -l; }
  local crashes=$(( $(count crash) + $(count leak) )) timeouts oom status=()
  timeouts=$(count timeout)
  oom=$(count oom)
  [ "$crashes" -gt 0 ] && status+=(crash)
  [ "$timeouts" -gt 0 ] && status+=(timeout)
  [ "$oom" -gt 0 ] && status+=(oom)
  [ ${#status[@]} -eq 0 ] && [ "$code" -ne 0 ] && status+=("exit-$code")
  [ -z "$execs" ] && [ ${#status[@]} -eq 0 ] && status+=(no-run)
  local text=ok
  [ ${#status[@]} -gt 0 ] && text=FAIL:$(IFS=,; echo "${status[*]}")
  row "$t" "${execs:-?}" "${cov:-?}" "${ft:-?}" "$crashes" "$timeouts" "$oom" "$(count slow-unit)" "$text" \
    > "$logs/campaign-$t.row"
  cat "$logs/campaign-$t.row"
}
jobs=${FUZZ_JOBS:-1}
for t in "${targets[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n; done
  run_target "$t" &
done
wait
failed=0
for t in "${targets[@]}"; do
  if [ -f "$logs/campaign-$t.row" ]; then
    cat "$logs/campaign-$t.row" >> "$report"
    grep -q ' ok$' "$logs/campaign-$t.row" || failed=1
  else
    row "$t" ? ? ? ? ? ? ? FAIL:no-run >> "$report"
    failed=1
  fi
done
cat "$report"
[ "$failed" -eq 0 ] || echo "fuzz: failures above; inputs in $dir/crashes-TARGET/" >&2
exit "$failed"
