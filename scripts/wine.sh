#!/usr/bin/env bash
# Runs 32-bit Windows programs under Wine, unattended.
#
#   scripts/wine.sh PROGRAM.exe ARGS...           console program, no display needed
#   scripts/wine.sh --xvfb PROGRAM.exe ARGS...    program that opens windows: runs it
#                                                 on a private Xvfb server
#   source scripts/wine.sh                        exports the Wine environment and
#                                                 creates the prefix; wine_with_xvfb
#                                                 COMMAND... is then available
#
# The exit status is the program's (Wine passes on its low 8 bits; an unhandled
# exception such as 0xC0000005 comes back as 5), or 124 when it was killed for
# running longer than WINE_TIMEOUT. stdout and stderr pass straight through.
#
# Environment:
#   WINEPREFIX_DIR     prefix to use (default: <repo>/build/wineprefix)
#   WINE_TIMEOUT       seconds before the program is killed (default 300, 0 = never)
#   WINE_XVFB_SCREEN   Xvfb screen geometry (default 1280x1024x24)
#   WINEDEBUG          kept when already set, otherwise -all
#
# Wine on Debian 12 is 8.0 with only the 32-bit loader (wine32:i386); it cannot
# make a 64-bit prefix, so the prefix is win32, which runs i686 programs natively.

_wine_sh_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

export WINEPREFIX="${WINEPREFIX_DIR:-$(dirname "$_wine_sh_dir")/build/wineprefix}"
export WINEARCH=win32
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko: they would be offered for download when the prefix is made.
case ";${WINEDLLOVERRIDES:-};" in
  *";mscoree=;mshtml=;"*) ;;
  *) export WINEDLLOVERRIDES="mscoree=;mshtml=${WINEDLLOVERRIDES:+;$WINEDLLOVERRIDES}" ;;
esac

_wine_stamp_name=.movrela-prefix
# Written into the stamp; a prefix made with other settings is made again.
_wine_stamp_text="win32, no crash debugger"

_wine_err() { echo "wine.sh: $*" >&2; }

# Creates the prefix once; later calls only look at the stamp. Concurrent
# callers serialise on a lock next to the prefix.
wine_prefix_ensure() {
  local stamp="$WINEPREFIX/$_wine_stamp_name"
  [ "$(cat "$stamp" 2>/dev/null)" = "$_wine_stamp_text" ] && return 0

  if ! command -v wine >/dev/null || ! command -v wineserver >/dev/null; then
    _wine_err "wine is not installed (run scripts/setup.sh)"
    return 1
  fi
  # Debian's wine wrapper prefers this 32-bit loader; without it only a 64-bit
  # prefix is possible and our i686 programs have nothing to run on.
  if [ ! -x /usr/lib/wine/wine ]; then
    _wine_err "the 32-bit Wine loader is missing (install wine32:i386, see scripts/setup.sh)"
    return 1
  fi

  mkdir -p "$(dirname "$WINEPREFIX")" || return 1
  (
    flock -w 600 9 || { _wine_err "timed out waiting for $WINEPREFIX.lock"; exit 1; }
    [ "$(cat "$stamp" 2>/dev/null)" = "$_wine_stamp_text" ] && exit 0

    # A prefix without a valid stamp is an interrupted creation or one made
    # with other settings: start over, but never delete a folder that is not
    # a Wine prefix.
    if [ -d "$WINEPREFIX" ] && [ -n "$(ls -A "$WINEPREFIX")" ]; then
      if [ ! -e "$WINEPREFIX/system.reg" ] && [ ! -e "$WINEPREFIX/dosdevices" ]; then
        _wine_err "$WINEPREFIX exists and is not a Wine prefix; remove it or set WINEPREFIX_DIR"
        exit 1
      fi
      _wine_settle
      rm -rf "$WINEPREFIX"
    fi

    local t0=$SECONDS rc
    echo "wine.sh: creating Wine prefix $WINEPREFIX" >&2
    # No display while the prefix is made: nothing can pop up and wait.
    if ! env -u DISPLAY -u WAYLAND_DISPLAY timeout 600 wineboot -i </dev/null >&2; then
      _wine_err "wineboot -i failed"
      exit 1
    fi
    # Unhandled exceptions: Wine's default debugger (winedbg --auto) prints a
    # backtrace but then races the dying program for its exit code, which now
    # and then comes back as 0, and on a display it waits for a click on its
    # crash dialog. With no debugger to start, the program ends with the
    # exception code every time, and Wine still reports the fault on stderr.
    local reg
    reg="$(mktemp --suffix=.reg)"
    printf '%s\r\n' 'REGEDIT4' '' \
      '[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\AeDebug]' \
      '"Auto"="1"' '"Debugger"="no-debugger.exe %ld %ld"' '' >"$reg"
    env -u DISPLAY -u WAYLAND_DISPLAY timeout 120 wine reg import "$reg" </dev/null >/dev/null 2>&1
    rc=$?
    rm -f "$reg"
    [ $rc -eq 0 ] || { _wine_err "could not configure the prefix"; exit 1; }
    timeout 120 wineserver -w
    grep -q '^#arch=win32' "$WINEPREFIX/system.reg" || { _wine_err "prefix is not win32"; exit 1; }
    echo "$_wine_stamp_text" >"$stamp.tmp" && mv "$stamp.tmp" "$stamp"
    echo "wine.sh: prefix ready in $((SECONDS - t0)) s" >&2
  ) 9>"$WINEPREFIX.lock"
}

# Waits (bounded) until the prefix's wineserver and its helper processes have
# exited, so that the next program starts a session with the current DISPLAY.
_wine_settle() {
  timeout 30 wineserver -w 2>/dev/null || true
}

# Runs a command on a private Xvfb server (xvfb-run picks a free display).
# Wine's helper processes leave before their X server goes away, and a
# session left over from a display-less run, which would own the desktop so
# that no window could be created, is waited out first.
wine_with_xvfb() {
  command -v xvfb-run >/dev/null || { _wine_err "xvfb-run is not installed (run scripts/setup.sh)"; return 1; }
  _wine_settle
  xvfb-run -a -s "-screen 0 ${WINE_XVFB_SCREEN:-1280x1024x24} -nolisten tcp" \
    bash -c '"$@"; rc=$?; timeout 30 wineserver -w 2>/dev/null; exit $rc' wine-xvfb "$@"
}

_wine_main() {
  local xvfb=0 rc t0 to="${WINE_TIMEOUT:-300}"
  if [ "${1:-}" = "--self-test" ]; then _wine_self_test; return; fi
  if [ "${1:-}" = "--xvfb" ]; then xvfb=1; shift; fi
  if [ $# -eq 0 ]; then
    echo "usage: scripts/wine.sh [--xvfb] PROGRAM.exe [ARGS...] | --self-test" >&2
    return 2
  fi
  wine_prefix_ensure || return 1

  # Never wait for keyboard input: a terminal on stdin is replaced by /dev/null.
  if [ -t 0 ] || ! { true <&0; } 2>/dev/null; then exec </dev/null; fi

  local -a run=(wine "$@")
  [ "$to" != 0 ] && run=(timeout -k 10 "$to" wine "$@")

  t0=$SECONDS
  if [ $xvfb -eq 1 ]; then
    wine_with_xvfb "${run[@]}"
    rc=$?
  else
    "${run[@]}"
    rc=$?
  fi
  if [ $rc -eq 124 ] && [ "$to" != 0 ] && [ $((SECONDS - t0)) -ge "$to" ]; then
    _wine_err "$1 killed after ${to} s"
  fi
  return $rc
}

# Runs a probe program through this script and checks what comes back: exit
# codes, both output streams, crashes, and windows with and without Xvfb.
_wine_self_test() {
  local tmp pass=0 fail=0
  tmp="$(mktemp -d)"
  cat >"$tmp/probe.c" <<'EOF'
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>
int main(int argc, char **argv)
{
  if (argc == 4 && !strcmp(argv[1], "exit")) {
    printf("out:%s\n", argv[2]);
    fprintf(stderr, "err:%s\n", argv[2]);
    return atoi(argv[3]);
  }
  if (argc == 2 && !strcmp(argv[1], "crash"))
    *(volatile int *)0 = 1;
  if (argc == 2 && !strcmp(argv[1], "window"))
    return CreateWindowA("STATIC", "probe", WS_VISIBLE, 0, 0, 80, 40,
                         NULL, NULL, NULL, NULL) ? 0 : 1;
  return 100;
}
EOF
  if ! i686-w64-mingw32-gcc -o "$tmp/probe.exe" "$tmp/probe.c"; then
    rm -rf "$tmp"
    echo "0 passed, 1 failed"
    return 1
  fi

  # want_rc | want_stdout | want_stderr (substring) | wine.sh arguments
  local -a cases=(
    '3|out:a b|err:a b|probe.exe exit "a b" 3'
    '0|out:|err:|probe.exe exit "" 0'
    '7|out:x|err:x|--xvfb probe.exe exit x 7'
    '5||Unhandled page fault|probe.exe crash'
    '5||Unhandled page fault|--xvfb probe.exe crash'
    '0|||--xvfb probe.exe window'
    '100|||probe.exe'
  )
  # Without a display no window can be created, and that must fail, not hang.
  [ -z "${DISPLAY:-}" ] && cases+=('1|||probe.exe window')

  local c want_rc want_out want_err args rc out err
  local -a argv
  for c in "${cases[@]}"; do
    IFS='|' read -r want_rc want_out want_err args <<<"$c"
    eval "argv=($args)"
    out="$(cd "$tmp" && "$_wine_sh_dir/wine.sh" "${argv[@]}" 2>"$tmp/stderr" </dev/null)"
    rc=$?
    # The C runtime writes text-mode streams with CRLF line ends.
    out="${out//$'\r'/}"
    err="$(tr -d '\r' <"$tmp/stderr")"
    if [ "$rc" = "$want_rc" ] && [ "$out" = "$want_out" ] && [[ "$err" == *"$want_err"* ]]; then
      pass=$((pass + 1))
    else
      fail=$((fail + 1))
      echo "FAIL: wine.sh $args: exit $rc (want $want_rc), stdout [$out] (want [$want_out]), stderr [$err]"
    fi
  done
  rm -rf "$tmp"
  echo "$pass passed, $fail failed"
  [ "$fail" -eq 0 ]
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  _wine_main "$@"
  exit $?
else
  wine_prefix_ensure
fi
