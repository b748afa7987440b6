#!/usr/bin/env bash
# Runs ui_window.exe under Wine on a private Xvfb display in the Japanese
# locale (Wine then uses the ANSI code page 932) twice: with the settings in
# the registry and, as a copy that Wine runs as on Win32s, in the INI file.
# For every NAME.ready the program writes into the artefact folder, the
# window's part of the screen becomes NAME.png there, and NAME.done tells the
# program to go on.
#
#   tests/suite/ui_window.sh WIN32_BUILD_FOLDER ARTEFACT_FOLDER
set -uo pipefail
build="$(cd "$1" && pwd)" || exit 1
artefacts=$2
here="$(cd "$(dirname "$0")" && pwd)"

if ! locale -a 2>/dev/null | grep -ix 'ja_JP.utf8' >/dev/null; then
  echo "ui_window.sh: the ja_JP.UTF-8 locale is missing (run scripts/setup.sh)" >&2
  exit 1
fi
# shellcheck source=../../scripts/wine.sh
source "$here/../../scripts/wine.sh" || exit 1
# shellcheck source=screenshot.sh
source "$here/screenshot.sh" || exit 1
# The rest runs on a private Xvfb server: this script again, inside it.
if [ -z "${WINE_XVFB_INSIDE:-}" ]; then
  WINE_XVFB_INSIDE=1 wine_with_xvfb "$0" "$@"
  exit $?
fi

mkdir -p "$artefacts" || exit 1
artefacts="$(cd "$artefacts" && pwd)"
rm -f "$artefacts"/ui-*.ready "$artefacts"/ui-*.done "$artefacts"/ui-*.png
copy="$(mktemp -d)"
cp "$build/ui_window.exe" "$copy/ui_window_ini.exe" || exit 1
# The English dialogs ask for "MS Sans Serif": Wine's own (package
# fonts-wine), which Wine looks for in the prefix's font folder.
if [ ! -e /usr/share/wine/fonts/sserife.fon ]; then
  echo "ui_window.sh: Wine's fonts are missing (install fonts-wine)" >&2
  exit 1
fi
cp -n /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/" || exit 1
trap 'rm -rf "$copy"' EXIT

# Wine's drive Z: is the Unix root.
windows() { local p="${1//\//\\}"; echo "Z:$p"; }

# Takes the screenshots PROGRAM asks for while it runs; its exit status.
run() {
  local exe=$1 pid
  LC_ALL=ja_JP.UTF-8 timeout -k 10 "${WINE_TIMEOUT:-120}" wine "$exe" "$(windows "$artefacts")" \
    "$(windows "$build/MOVRELA.MQF")" "$(windows "$build")" &
  pid=$!
  take_screenshots "$pid" "$artefacts" ui
  wait "$pid"
}

# The copy sees the Win32s platform, whose settings live in the INI file.
# "MS PGothic" is proportional: IPAPGothic, not the IPAGothic Wine would take.
reg="$copy/setup.reg"
printf '%s\r\n' 'Windows Registry Editor Version 5.00' '' \
  '[HKEY_CURRENT_USER\Software\Wine\AppDefaults\ui_window_ini.exe]' '"Version"="win31"' '' \
  '[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]' \
  '"ＭＳ Ｐゴシック"="IPAPGothic"' '"MS PGothic"="IPAPGothic"' '' |
  iconv -f UTF-8 -t UTF-16 >"$reg" || exit 1
wine reg import "$(windows "$reg")" >/dev/null 2>&1 ||
  { echo "ui_window.sh: cannot configure the prefix" >&2; exit 1; }

rc=0
run "$build/ui_window.exe" || rc=1
run "$copy/ui_window_ini.exe" || rc=1
rm -f "$artefacts"/ui-*.done "$artefacts"/ui-*.tmp
for id in 100 101 110 111 112 113; do
  [ -s "$artefacts/ui-$id.png" ] || { echo "ui_window.sh: ui-$id.png missing" >&2; rc=1; }
done
exit $rc
