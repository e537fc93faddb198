#!/bin/sh
# Runs a Windows program under wine64 in a private Wine prefix (CTest's
# emulator for the Windows build, and the Windows demo):
#   scripts/wine-run.sh <prefix folder> <program.exe> [arguments...]
# The prefix is made on first use and reused; a persistent wineserver keeps
# the start-up cost of each program low. Wine's own messages are off
# (WINEDEBUG=-all) unless the caller sets WINEDEBUG.
set -u
[ $# -ge 2 ] || { echo "usage: $0 <wine prefix> <program> [arguments...]" >&2; exit 2; }
mkdir -p "$1"
WINEPREFIX=$(cd "$1" && pwd)
shift
export WINEPREFIX
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko installers: nothing here uses .NET or the HTML engine.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
# The programs are console programs: no window system needed.
[ -n "${KIVRO_WINE_DISPLAY:-}" ] || unset DISPLAY

WINE=wine
[ -x /usr/lib/wine/wine64 ] && WINE=/usr/lib/wine/wine64
command -v wineserver >/dev/null 2>&1 || { echo "wine-run: wine is missing (scripts/setup-deps.sh --windows)" >&2; exit 1; }

# First use: one caller makes the prefix while the others wait for it.
if [ ! -f "$WINEPREFIX/.kivro-ready" ]; then
  (
    flock 9
    if [ ! -f "$WINEPREFIX/.kivro-ready" ]; then
      echo "wine-run: making the Wine prefix $WINEPREFIX" >&2
      "$WINE" wineboot --init >"$WINEPREFIX/wineboot.log" 2>&1
      wineserver -w
      touch "$WINEPREFIX/.kivro-ready"
    fi
  ) 9>"$WINEPREFIX.lock"
fi

# A wineserver that outlives each program (ten minutes after the last one):
# the next program finds it running. A second start finds the first and ends.
# Wine's own background programs (services, explorer) start with the first
# program of a server; a trivial one starts them here, cut off from the
# caller's output, since CTest waits until every holder of its pipes ends.
wineserver -p600 </dev/null >/dev/null 2>&1 || true
"$WINE" cmd.exe /c exit </dev/null >/dev/null 2>&1

exec "$WINE" "$@"
