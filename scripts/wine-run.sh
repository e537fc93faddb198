#!/bin/sh
# Runs a Windows program under wine64 in a private Wine prefix (CTest's
# emulator for the Windows build, and the Windows demo):
#   scripts/wine-run.sh <prefix folder> <program.exe> [arguments...]
# The prefix is made on first use and reused; a persistent wineserver keeps
# the start-up cost of each program low. Wine's own messages are off
# (WINEDEBUG=-all) unless the caller sets WINEDEBUG.
#
#   scripts/wine-run.sh --display <prefix folder> <program.exe> [arguments...]
# runs the program where a player would see it: in a prefix of its own with
# Wine's X11 driver and a Korean font standing in for Gulim, on a private X
# server (Xvfb) started for this one run (scripts/wine-display.sh).
set -u
DISPLAY_RUN=
if [ "${1:-}" = "--display" ]; then
  DISPLAY_RUN=1
  shift
fi
[ $# -ge 2 ] || { echo "usage: $0 [--display] <wine prefix> <program> [arguments...]" >&2; exit 2; }
mkdir -p "$1"
WINEPREFIX=$(cd "$1" && pwd)
shift
export WINEPREFIX
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko installers: nothing here uses .NET or the HTML engine.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
# No X display: the programs' windows live on the prefix's headless desktop
# (Wine's null graphics driver, set in the prefix below), where they are
# made, found, sent messages and given properties as on Windows, but never
# drawn. Nothing of the caller's display (or its absence) changes a test.
# KIVRO_WINE_DISPLAY=1 keeps DISPLAY, for a prefix whose driver a person set
# back to X11 to look at windows.
[ -n "${KIVRO_WINE_DISPLAY:-}" ] || [ -n "$DISPLAY_RUN" ] || unset DISPLAY

WINE=wine
[ -x /usr/lib/wine/wine64 ] && WINE=/usr/lib/wine/wine64
command -v wineserver >/dev/null 2>&1 || { echo "wine-run: wine is missing (scripts/setup-deps.sh --windows)" >&2; exit 1; }

if [ -n "$DISPLAY_RUN" ]; then
  . "$(dirname "$0")/wine-display.sh"
  run_on_display "$@"
  exit $?
fi

# First use: one caller makes the prefix while the others wait for it. Its
# desktop is headless (see above); a desktop is made by the first program
# of a wineserver, so the server that made the prefix (or, for a prefix made
# before the desktop was headless, any server of it) ends before any test.
if [ ! -f "$WINEPREFIX/.kivro-headless" ]; then
  (
    flock 9
    if [ ! -f "$WINEPREFIX/.kivro-headless" ]; then
      echo "wine-run: making the Wine prefix $WINEPREFIX" >&2
      if [ ! -f "$WINEPREFIX/.kivro-ready" ]; then
        "$WINE" wineboot --init </dev/null >"$WINEPREFIX/wineboot.log" 2>&1
      fi
      "$WINE" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f \
        </dev/null >>"$WINEPREFIX/wineboot.log" 2>&1 || { echo "wine-run: cannot make the desktop headless" >&2; exit 1; }
      # A program that crashes ends at once instead of waiting in Wine's
      # debugger until CTest gives up on it.
      "$WINE" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger \
        /d false /f </dev/null >>"$WINEPREFIX/wineboot.log" 2>&1
      wineserver -k >/dev/null 2>&1
      wineserver -w
      touch "$WINEPREFIX/.kivro-ready" "$WINEPREFIX/.kivro-headless"
    fi
  ) 9>"$WINEPREFIX.lock" || exit 1
fi

# A wineserver that outlives each program (ten minutes after the last one):
# the next program finds it running. A second start finds the first and ends.
# Wine's own background programs (services, explorer) start with the first
# program of a server; a trivial one starts them here, cut off from the
# caller's output, since CTest waits until every holder of its pipes ends.
wineserver -p600 </dev/null >/dev/null 2>&1 || true
"$WINE" cmd.exe /c exit </dev/null >/dev/null 2>&1

exec "$WINE" "$@"
