#!/usr/bin/env bash
# Checks the Windows plug-in file: exactly the six undecorated exports of the
# plug-in interface, imports from system DLLs only (no MinGW runtime), and a
# version resource that names the product and the version the About dialog
# shows. Every file given, the plug-in and the others shipped with it, must
# carry no debug sections (a debug link is fine).
#
# usage: tests/check-exports.sh MOVRELA.MQF [OTHER.DLL...]
set -euo pipefail
dll=$1
for shipped in "$@"; do
  debug=$(i686-w64-mingw32-objdump -h "$shipped" | awk '$2 ~ /^\.debug_/ {print $2}')
  if [ -n "$debug" ]; then
    echo "$shipped carries debug sections:" $debug; exit 1
  fi
done
dump=$(i686-w64-mingw32-objdump -p "$dll")

exports=$(printf '%s\n' "$dump" | awk '/\[Ordinal\/Name Pointer\] Table/ {t=1; next} t && /^\t\[/ {print $NF} t && /^$/ {t=0}' | sort)
expected=$(printf '%s\n' ConfigurationDlg GetPictureInfo GetPicture GetPluginInfo GetPreview IsSupported | sort)
if [ "$exports" != "$expected" ]; then
  echo "exports differ:"; printf '%s\n' "$exports"; exit 1
fi

imports=$(printf '%s\n' "$dump" | awk '/DLL Name:/ {print toupper($3)}' | sort -u)
allowed='^(KERNEL32|USER32|ADVAPI32|GDI32|COMCTL32|COMDLG32|MSVCRT)\.DLL$'
bad=$(printf '%s\n' "$imports" | grep -v -E "$allowed" || true)
if [ -n "$bad" ]; then
  echo "imports from non-system DLLs:"; printf '%s\n' "$bad"; exit 1
fi
# The version resource's texts are UTF-16: read them with every other byte.
strings -e l "$dll" > /tmp/movrela-version.$$ || true
version=$(sed -n 's/^#define MOVRELA_VERSION_TEXT "\(.*\)"/\1/p' "$(dirname "$0")/../resources/resource.h")
for text in ProductName "Talvo JPEG Filter" FileVersion "$version" OriginalFilename MOVRELA.MQF FileDescription; do
  if ! grep -q -x -F -- "$text" /tmp/movrela-version.$$; then
    rm -f /tmp/movrela-version.$$
    echo "version resource lacks: $text"; exit 1
  fi
done
rm -f /tmp/movrela-version.$$
echo "version: $version"
echo "exports: $(echo $exports)"
echo "imports: $(echo $imports)"
echo "1 passed, 0 failed"
