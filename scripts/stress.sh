#!/usr/bin/env bash
# The hostile-input runs at full size (the regular tests run them small):
#   - every prefix and 3000 single-byte corruptions of each sweep picture
#     through the four picture exports, natively under AddressSanitizer and
#     UndefinedBehaviorSanitizer, and as the Windows DLL under Wine;
#   - eight threads issuing mixed requests over the corpus, ROUNDS passes
#     each (default 10), natively under the sanitizers, under
#     ThreadSanitizer, and as the Windows DLL under Wine.
# Builds what it needs first (scripts/build.sh, scripts/tsan.sh).
#
# usage: scripts/stress.sh [ROUNDS]
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD
rounds=${1:-10}
corpus=$root/tests/corpus
scripts/build.sh >/dev/null || { echo "stress: build failed" >&2; exit 1; }
native=$root/build/native
win32=$root/build/win32
export WINE_TIMEOUT=0
# A Wine prefix of its own: the suites rewrite the registry as they go, so
# another Wine run on the shared prefix would change their settings.
export WINEPREFIX_DIR=$root/build/wineprefix-stress
status=0

run() { # LABEL COMMAND...
  local label=$1 start=$SECONDS
  shift
  if "$@" > "$root/build/stress-${label// /-}.log" 2>&1; then
    echo "pass  $label ($((SECONDS - start)) s)"
  else
    echo "FAIL  $label ($((SECONDS - start)) s), log: build/stress-${label// /-}.log"
    status=1
  fi
}

export MOVRELA_SWEEP=full MOVRELA_THREAD_ROUNDS=$rounds
run "sweeps native" env MOVRELA_WINROOT="$native/winroot-stress" \
  "$native/tests/e2e_sweeps" "$native/MOVRELA.MQF"
run "sweeps wine" scripts/wine.sh "$win32/e2e_sweeps.exe" "$win32/MOVRELA.MQF"
run "threads native" env MOVRELA_WINROOT="$native/winroot-stress" \
  "$native/tests/e2e_hostile" "$native/MOVRELA.MQF" "$corpus"
run "threads tsan" scripts/tsan.sh
run "threads wine" scripts/wine.sh "$win32/e2e_hostile.exe" "$win32/MOVRELA.MQF" "$corpus"
# How many variants each sweep took.
grep -h "variants of" "$root"/build/stress-sweeps-native.log
exit $status
