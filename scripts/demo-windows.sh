#!/bin/bash
# The demo behind `make demo-windows`: the demo's steps with the Windows
# programs of build-win64/ under wine64. The sample game's releases are
# published with npk.exe and kivro-publish.exe, nginx serves them on a free
# loopback port, and kivro-update.exe installs the game into
# C:\Zelmora\KOREAN\Gobanvista of a private Wine prefix, then updates it,
# fetching only what changed, then finds nothing to do. (The launcher's
# window comes with the Windows windowing work.)
#
#   scripts/demo-windows.sh [WINDOWS_BUILD_DIR]     (default: build-win64)
# The server is stopped when the script ends, whatever happens.
set -euo pipefail

BUILD=$(cd "${1:-build-win64}" && pwd)
SRC=$(cd "$(dirname "$0")/.." && pwd)
HOST=$BUILD/host  # shell wrappers that run each .exe under wine64 (CMake makes them)
for p in "$HOST/npk" "$HOST/kivro-publish" "$HOST/kivro-update"; do
  [ -x "$p" ] || { echo "demo-windows: $p is missing; build first (make windows)" >&2; exit 1; }
done
NGINX=$(command -v nginx || true)
[ -n "$NGINX" ] || NGINX=/usr/sbin/nginx
[ -x "$NGINX" ] || { echo "demo-windows: nginx is not installed (make deps)" >&2; exit 1; }

WORK=$BUILD/demo
NGINX_DIR=$WORK/nginx
SERVER=$WORK/server
# The tools' own prefix (the tests use build-win64/wine), made on first use.
WINEPREFIX_DEMO=$BUILD/demo-wine
run_windows() { "$SRC/scripts/wine-run.sh" "$WINEPREFIX_DEMO" "$@"; }
INSTALL_WIN='C:\Zelmora\KOREAN\Gobanvista'
INSTALL=$WINEPREFIX_DEMO/drive_c/Zelmora/KOREAN/Gobanvista

stop_server() {
  if [ -f "$NGINX_DIR/nginx.pid" ]; then
    kill "$(cat "$NGINX_DIR/nginx.pid")" 2>/dev/null || true
    rm -f "$NGINX_DIR/nginx.pid"
  fi
}
trap stop_server EXIT
trap 'exit 130' INT TERM

rm -rf "$WORK" "$WINEPREFIX_DEMO/drive_c/Zelmora"
mkdir -p "$NGINX_DIR/tmp" "$SERVER"
unset http_proxy HTTP_PROXY no_proxy NO_PROXY
PORT=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')

cat > "$NGINX_DIR/nginx.conf" <<CONF
worker_processes 1;
daemon on;
pid $NGINX_DIR/nginx.pid;
error_log $NGINX_DIR/error.log;
events { worker_connections 64; }
http {
  log_format demo '\$request \$status \$body_bytes_sent';
  access_log $NGINX_DIR/access.log demo;
  client_body_temp_path $NGINX_DIR/tmp;
  proxy_temp_path $NGINX_DIR/tmp;
  fastcgi_temp_path $NGINX_DIR/tmp;
  uwsgi_temp_path $NGINX_DIR/tmp;
  scgi_temp_path $NGINX_DIR/tmp;
  server {
    listen 127.0.0.1:$PORT;
    root $SERVER;
  }
}
CONF

if [ -t 1 ]; then
  step() { printf '\n\033[1m== %s\033[0m\n' "$*"; }
else
  step() { printf '\n== %s\n' "$*"; }
fi

update() {
  : > "$NGINX_DIR/access.log"
  kill -USR1 "$(cat "$NGINX_DIR/nginx.pid")"  # reopen the emptied log
  sleep 0.2
  local status=0
  run_windows "$BUILD/tools/kivro-update.exe" run --local-base "$INSTALL_WIN" \
    --list-url "http://127.0.0.1:$PORT/vrl/newvrl/gobanvista.vrl" \
    --url-base "http://127.0.0.1:$PORT/dist/gobanvista/" | tr -d '\r' || status=$?
  echo "kivro-update.exe exit code: $status"
  echo "requests served for this run:"
  sed 's/^/    /' "$NGINX_DIR/access.log"
  return "$status"
}

step "1. Release 1.0 of the sample game, published with npk.exe and kivro-publish.exe"
"$SRC/launcher/sample_game/make_release.sh" 1.0 "$WORK/release-1.0" "$HOST/npk"
"$HOST/kivro-publish" "$WORK/release-1.0" "$SERVER" | tr -d '\r'

step "2. nginx serves it on 127.0.0.1:$PORT"
"$NGINX" -c "$NGINX_DIR/nginx.conf" -p "$NGINX_DIR" -e "$NGINX_DIR/error.log"
sleep 0.3

step "3. kivro-update.exe run on an empty machine: installs into $INSTALL_WIN (Wine prefix $WINEPREFIX_DEMO)"
update
echo "installed:"
(cd "$INSTALL" && find . -type f | sort | sed 's/^/    /')

step "4. Release 2.0: new start program, one data file changed, one added, one removed, package entities changed"
sleep 1
"$SRC/launcher/sample_game/make_release.sh" 2.0 "$WORK/release-2.0" "$HOST/npk"
"$HOST/kivro-publish" "$WORK/release-2.0" "$SERVER" --previous "$WORK/release-1.0" | tr -d '\r'

step "5. kivro-update.exe again: only what changed is fetched"
update
[ -e "$INSTALL/data/notice_old.txt" ] && echo "demo-windows: the removed file is still there" >&2 && exit 1
echo "data/notice_old.txt was removed as release 2.0 asks"

step "6. kivro-update.exe once more: nothing to update"
update

step "Done"
echo "The server is stopped on exit. Everything the demo made is under $WORK; the game is in $INSTALL."
