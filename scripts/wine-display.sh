# Sourced by scripts/wine-run.sh for `--display`: a Windows program run
# where a player would see it. WINEPREFIX and WINE are set by the caller.
#
# The prefix is its own (never the headless one of the other tests): Wine's
# X11 driver, and NanumGothic (Debian's fonts-nanum) in windows\Fonts with
# font substitutes from the Korean system faces, the way a Korean Windows
# has Gulim and Dotum.
#
# Each run gets a private Xvfb and a wineserver of its own that both end with
# the run: a Wine desktop binds to the X display of the first program that
# needs it, so the server must never outlive the display it started on. Runs
# in one prefix therefore wait for each other (a lock file beside it).

KIVRO_NANUM_FONT=${KIVRO_NANUM_FONT:-/usr/share/fonts/truetype/nanum/NanumGothic.ttf}
KIVRO_WINE_SCREEN=${KIVRO_WINE_SCREEN:-1024x768x24}

# The font substitutes as a registry file: regedit reads UTF-16 with the
# names as written, whatever the caller's locale.
write_font_substitutes() {
  printf '\357\273\277Windows Registry Editor Version 5.00\r\n\r\n%s\r\n' \
    '[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes]'
  for face in 굴림 Gulim 굴림체 GulimChe 돋움 Dotum 돋움체 DotumChe; do
    printf '"%s"="NanumGothic"\r\n' "$face"
  done
}

make_display_prefix() {
  [ -f "$WINEPREFIX/.kivro-x11" ] && return 0
  [ -f "$KIVRO_NANUM_FONT" ] || { echo "wine-run: $KIVRO_NANUM_FONT is missing (fonts-nanum, scripts/setup-deps.sh)" >&2; return 1; }
  (
    flock 9
    [ -f "$WINEPREFIX/.kivro-x11" ] && exit 0
    echo "wine-run: making the Wine prefix $WINEPREFIX (X11 driver, Korean font)" >&2
    log="$WINEPREFIX/wineboot.log"
    "$WINE" wineboot --init </dev/null >"$log" 2>&1
    "$WINE" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d x11 /f </dev/null >>"$log" 2>&1 ||
      { echo "wine-run: cannot set the X11 driver" >&2; exit 1; }
    "$WINE" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger \
      /d false /f </dev/null >>"$log" 2>&1
    fonts="$WINEPREFIX/drive_c/windows/Fonts"
    mkdir -p "$fonts" && cp "$KIVRO_NANUM_FONT" "$fonts/NanumGothic.ttf" ||
      { echo "wine-run: cannot copy the font into $fonts" >&2; exit 1; }
    write_font_substitutes | iconv -f UTF-8 -t UTF-16LE >"$WINEPREFIX/drive_c/kivro-fonts.reg" ||
      { echo "wine-run: cannot write the font substitutes" >&2; exit 1; }
    "$WINE" regedit /S 'C:\kivro-fonts.reg' </dev/null >>"$log" 2>&1 ||
      { echo "wine-run: cannot register the font substitutes" >&2; exit 1; }
    rm -f "$WINEPREFIX/drive_c/kivro-fonts.reg"
    wineserver -k >/dev/null 2>&1
    wineserver -w
    touch "$WINEPREFIX/.kivro-x11"
  ) 9>"$WINEPREFIX.lock"
}

# Stops what a run left: the prefix's wineserver with every program in it,
# then the X server.
end_display_run() {
  wineserver -k >/dev/null 2>&1
  wineserver -w >/dev/null 2>&1
  if [ -f "$WINEPREFIX.xvfb.pid" ]; then
    kill "$(cat "$WINEPREFIX.xvfb.pid")" >/dev/null 2>&1
    rm -f "$WINEPREFIX.xvfb.pid"
  fi
  # Reaped here when this shell started it (a leftover's parent is gone).
  [ -n "${xvfb_pid:-}" ] && wait "$xvfb_pid" 2>/dev/null
  xvfb_pid=
  [ -n "${display_dir:-}" ] && rm -rf "$display_dir"
  display_dir=
}

run_on_display() {
  command -v Xvfb >/dev/null 2>&1 || { echo "wine-run: Xvfb is missing (xvfb, scripts/setup-deps.sh)" >&2; return 1; }
  # The lock is held by this shell alone: no program started below keeps
  # descriptor 7, so nothing left behind can hold the next run up.
  exec 7>"$WINEPREFIX.run.lock"
  flock 7
  # A run killed before its clean-up left its servers: end them first.
  display_dir=
  xvfb_pid=
  end_display_run
  display_dir=$(mktemp -d) || return 1
  trap end_display_run EXIT
  trap 'exit 129' HUP
  trap 'exit 130' INT
  trap 'exit 143' TERM
  Xvfb -displayfd 8 -screen 0 "$KIVRO_WINE_SCREEN" -nolisten tcp -noreset \
    8>"$display_dir/number" 7>&- </dev/null >"$display_dir/xvfb.log" 2>&1 &
  xvfb_pid=$!
  echo $xvfb_pid >"$WINEPREFIX.xvfb.pid"
  # Xvfb writes its display number once it accepts clients.
  waited=0
  while ! grep -q '^[0-9]' "$display_dir/number" 2>/dev/null; do
    [ $waited -lt 150 ] || { echo "wine-run: Xvfb did not start: $(cat "$display_dir/xvfb.log")" >&2; return 1; }
    sleep 0.1
    waited=$((waited + 1))
  done
  DISPLAY=:$(head -n 1 "$display_dir/number")
  export DISPLAY
  make_display_prefix 7>&- || return 1
  # Wine's background programs start cut off from the caller's output (see
  # wine-run.sh); the program itself is not exec'd, so the clean-up runs.
  "$WINE" cmd.exe /c exit </dev/null >/dev/null 2>&1 7>&-
  "$WINE" "$@" 7>&-
}
