#!/usr/bin/env bash
# Installs what the builds and tests need on a Debian 12 machine, once.
# Safe to run again: it only installs what is missing. Needs root (or sudo).
set -euo pipefail

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive

# Packages on the amd64 side and the i386 Wine runtime.
PKGS=(cmake ninja-build g++ clang libclang-rt-14-dev libgtest-dev libgmock-dev
      libbenchmark-dev libjpeg62-turbo-dev libjpeg-turbo-progs
      g++-mingw-w64-i686 nasm wine wine32:i386 xvfb x11-apps imagemagick
      fonts-ipafont-gothic dpkg-dev hyperfine time locales libimage-exiftool-perl fonts-wine
      liblcms2-dev liblcms2-utils patch bc libgs-common)

missing=()
for p in "${PKGS[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
  missing+=(wine32:i386)
fi

# Debian source entries, derived from the machine's own binary entries, so that
# the libjpeg-turbo and lcms2 source packages can be fetched for the cross
# builds.
src_list=/etc/apt/sources.list.d/movrela-deb-src.sources
need_update=0
if [ ! -f "$src_list" ]; then
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    case "$f" in *movrela-deb-src*) continue ;; esac
    # Copy every stanza that serves the main archive, turned into a deb-src stanza.
    awk 'BEGIN { RS=""; ORS="\n\n" }
         /Types:[^\n]*deb/ && /Components:[^\n]*main/ {
           gsub(/Types:[^\n]*/, "Types: deb-src"); print }' "$f"
  done | $SUDO tee "$src_list.tmp" >/dev/null
  if [ -s "$src_list.tmp" ]; then
    $SUDO mv "$src_list.tmp" "$src_list"
  else
    $SUDO rm -f "$src_list.tmp"
    if [ -f /etc/apt/sources.list ]; then
      sed -n 's/^deb \(.*\)/deb-src \1/p' /etc/apt/sources.list | $SUDO tee /etc/apt/sources.list.d/movrela-deb-src.list >/dev/null
      $SUDO touch "$src_list"
    fi
  fi
  need_update=1
fi

if [ ${#missing[@]} -gt 0 ] || [ $need_update -eq 1 ]; then
  $SUDO apt-get update -qq
fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The Japanese locale: Wine takes its ANSI code page from it (932, Shift_JIS)
# when the dialog tests run in Japanese.
if ! locale -a 2>/dev/null | grep -ix 'ja_JP.utf8' >/dev/null; then
  if ! grep -qx 'ja_JP.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null; then
    echo 'ja_JP.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  fi
  $SUDO locale-gen >/dev/null
fi

echo "setup: machine ready"
