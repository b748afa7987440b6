#!/usr/bin/env bash
# Makes the zip a Windows user downloads, build/package/movrela-VERSION.zip:
#   movrela/MOVRELA.MQF            the plug-in
#   movrela/INSTALL.txt            installation and settings, from README.md
#   movrela/reference/quorel.mqf   our reference decoder, with README.txt
# Both DLLs are shipped stripped; their debug information lies beside the
# zip (build/package/MOVRELA.MQF.debug, quorel.mqf.debug), where a debugger
# finds it through each DLL's debug link.
#
# usage: scripts/package.sh
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh >/dev/null
scripts/build-libjpeg-win32.sh >/dev/null
scripts/build-lcms2-win32.sh >/dev/null
scripts/build.sh --win32-only >/dev/null

version=$(sed -n 's/^#define MOVRELA_VERSION_NUMBERS \([0-9]*\), \([0-9]*\).*/\1.\2/p' resources/resource.h)
stage=build/package/movrela
rm -rf build/package
mkdir -p "$stage/reference"
scripts/strip-dll.sh build/win32/MOVRELA.MQF build/package/MOVRELA.MQF
scripts/strip-dll.sh build/win32/quorel.mqf build/package/quorel.mqf
mv build/package/MOVRELA.MQF "$stage/"
mv build/package/quorel.mqf "$stage/reference/"
tests/check-exports.sh "$stage/MOVRELA.MQF" "$stage/reference/quorel.mqf" >/dev/null

# Windows line ends for Notepad.
crlf() { sed 's/$/\r/'; }
{
  echo "MOVRELA.MQF $version - Talvo JPEG Filter for the Orvid image viewer"
  echo
  # The README's sections for users: installing, settings, result codes and
  # troubleshooting.
  awk '/^## Installing into the viewer/ {on = 1} /^## For developers/ {on = 0} on' README.md
} | crlf > "$stage/INSTALL.txt"
crlf > "$stage/reference/README.txt" <<'NOTE'
quorel.mqf here is our own reference JPEG decoder, a plain JPEG plug-in that
MOVRELA.MQF can wrap. It must not replace a decoder of the same name that
you already have in the viewer's plug-in folder: keep yours. Copy this one
only when you have none.
NOTE

(cd build/package && cmake -E tar cf "movrela-$version.zip" --format=zip movrela)
echo "build/package/movrela-$version.zip"
