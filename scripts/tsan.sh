#!/usr/bin/env bash
# The concurrency run under ThreadSanitizer: builds (scripts/build-tsan.sh)
# and runs the hostile-input suite, whose threads case calls the picture
# exports from eight threads at once (MOVRELA_THREAD_ROUNDS passes each).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh >/dev/null
scripts/build-libjpeg-native.sh >/dev/null
scripts/build-tsan.sh >/dev/null
MOVRELA_WINROOT=$PWD/build/tsan/winroot TSAN_OPTIONS=halt_on_error=1 \
  build/tsan/tests/e2e_hostile build/tsan/MOVRELA.MQF "$PWD/tests/corpus"
