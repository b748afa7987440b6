#!/usr/bin/env bash
# Runs prompt_window.exe under Wine on a private Xvfb display, in the
# Japanese locale (Wine then uses the ANSI code page 932), and takes the
# screenshots the program asks for: for every NAME.ready it writes into the
# artefact folder, the dialog's part of the screen becomes NAME.png there,
# and NAME.done tells the program to go on.
#
#   tests/suite/prompt_window.sh PROMPT_WINDOW.exe ARTEFACT_FOLDER
set -uo pipefail
exe=$1
artefacts=$2
here="$(cd "$(dirname "$0")" && pwd)"

if ! locale -a 2>/dev/null | grep -ix 'ja_JP.utf8' >/dev/null; then
  echo "prompt_window.sh: the ja_JP.UTF-8 locale is missing (run scripts/setup.sh)" >&2
  exit 1
fi
mkdir -p "$artefacts" || exit 1
artefacts="$(cd "$artefacts" && pwd)"
rm -f "$artefacts"/prompt-*.ready "$artefacts"/prompt-*.done "$artefacts"/prompt-*.png

# shellcheck source=../../scripts/wine.sh
source "$here/../../scripts/wine.sh" || exit 1
# shellcheck source=screenshot.sh
source "$here/screenshot.sh" || exit 1
# The rest runs on a private Xvfb server: this script again, inside it.
if [ -z "${WINE_XVFB_INSIDE:-}" ]; then
  WINE_XVFB_INSIDE=1 wine_with_xvfb "$0" "$@"
  exit $?
fi

# Wine's drive Z: is the Unix root.
LC_ALL=ja_JP.UTF-8 timeout -k 10 "${WINE_TIMEOUT:-300}" wine "$exe" "Z:${artefacts//\//\\}" &
pid=$!
take_screenshots "$pid" "$artefacts" prompt
wait "$pid"
rc=$?
rm -f "$artefacts"/prompt-*.done "$artefacts"/prompt-*.tmp
for name in prompt-en prompt-ja; do
  [ -s "$artefacts/$name.png" ] || { echo "prompt_window.sh: $name.png missing" >&2; rc=1; }
done
exit $rc
