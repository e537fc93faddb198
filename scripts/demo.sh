#!/bin/bash
# The demo behind `make demo`: publishes a release of the sample game, serves
# it with nginx on loopback, runs KIVROInstaller against it in a fresh virtual
# Windows root (in its window when a display is present, on the terminal
# otherwise), which installs and starts the game; then publishes a second
# release and runs the launcher again, which fetches only what changed.
#
#   scripts/demo.sh [BUILD_DIR]        (default: build)
#
# DEMO_RATE=50k limits nginx's sending rate per connection (default: 64k in a
# window, so the progress bars can be watched; none on a terminal).
# The server is stopped when the script ends, whatever happens.
set -euo pipefail

BUILD=$(cd "${1:-build}" && pwd)
SRC=$(cd "$(dirname "$0")/.." && pwd)
LAUNCHER=$BUILD/launcher/KIVROInstaller
PUBLISH=$BUILD/tools/kivro-publish
NPK=$BUILD/tools/npk
MAKE_RELEASE=$SRC/launcher/sample_game/make_release.sh
for p in "$LAUNCHER" "$PUBLISH" "$NPK"; do
  [ -x "$p" ] || { echo "demo: $p is missing; build first (make build)" >&2; exit 1; }
done
NGINX=$(command -v nginx || true)
[ -n "$NGINX" ] || NGINX=/usr/sbin/nginx
[ -x "$NGINX" ] || { echo "demo: nginx is not installed (make deps)" >&2; exit 1; }

# The download server is built into the launcher (CMake's KIVRO_DOWNLOAD_HOST).
HOST=$(sed -n 's/^KIVRO_DOWNLOAD_HOST:[A-Z]*=//p' "$BUILD/CMakeCache.txt" 2>/dev/null || true)
HOST=${HOST:-127.0.0.1:18080}
HOST_NAME=${HOST%%:*}
HOST_PORT=${HOST##*:}
[ "$HOST_PORT" = "$HOST" ] && HOST_PORT=80

port_busy() {
  python3 - "$1" <<'PY'
import socket, sys
s = socket.socket()
s.settimeout(0.3)
sys.exit(0 if s.connect_ex(("127.0.0.1", int(sys.argv[1]))) == 0 else 1)
PY
}
free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

WORK=$BUILD/demo
NGINX_DIR=$WORK/nginx
SERVER=$WORK/server
export KIVRO_ROOT=$WORK/root
unset KIVRO_WINDIR
INSTALL=$KIVRO_ROOT/drive_c/Zelmora/KOREAN/Gobanvista

stop_server() {
  if [ -f "$NGINX_DIR/nginx.pid" ]; then
    kill "$(cat "$NGINX_DIR/nginx.pid")" 2>/dev/null || true
    rm -f "$NGINX_DIR/nginx.pid"
  fi
}
trap stop_server EXIT
trap 'exit 130' INT TERM

rm -rf "$WORK"
mkdir -p "$NGINX_DIR/tmp" "$SERVER" "$KIVRO_ROOT"

# Serve where the launcher looks. A launcher built for a host that is not
# a loopback one is pointed at the local server through its HTTP proxy
# setting (http_proxy), which nginx answers too; loopback hosts never go
# through a proxy, so their port must be free.
unset http_proxy HTTP_PROXY no_proxy NO_PROXY
SERVE_PORT=$HOST_PORT
if [ "$HOST_NAME" != "127.0.0.1" ] && [ "$HOST_NAME" != "localhost" ]; then
  SERVE_PORT=$(free_port)
  export http_proxy=http://127.0.0.1:$SERVE_PORT
elif port_busy "$HOST_PORT"; then
  echo "demo: port $HOST_PORT, which the launcher is built to fetch from, is taken by another program." >&2
  echo "      Stop it, or build with another port: make demo CMAKE_FLAGS=-DKIVRO_DOWNLOAD_HOST=127.0.0.1:18181" >&2
  exit 1
fi

if [ -n "${DISPLAY:-}" ]; then MODE=window; RATE=${DEMO_RATE:-64k}; else MODE=terminal; RATE=${DEMO_RATE:-0}; fi

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
    listen 127.0.0.1:$SERVE_PORT;
    root $SERVER;
    limit_rate $RATE;
  }
}
CONF

if [ -t 1 ]; then
  step() { printf '\n\033[1m== %s\033[0m\n' "$*"; }
else
  step() { printf '\n== %s\n' "$*"; }
fi

starts() { [ -f "$INSTALL/started.log" ] && wc -l < "$INSTALL/started.log" || echo 0; }

run_launcher() {
  local before
  before=$(starts)
  : > "$NGINX_DIR/access.log"
  kill -USR1 "$(cat "$NGINX_DIR/nginx.pid")"  # reopen the emptied log
  sleep 0.2
  if [ "$MODE" = window ]; then
    echo "(the launcher's window opens on $DISPLAY; the check starts 1.5 s later)"
  fi
  # The plug-in starts the launcher with its whole URL: it is ignored.
  set +e
  "$LAUNCHER" "Zelmora://start"
  local status=$?
  set -e
  echo "launcher exit code: $status"
  for _ in $(seq 1 50); do
    [ "$(starts)" -gt "$before" ] && break
    sleep 0.2
  done
  if [ "$(starts)" -gt "$before" ]; then
    echo "the game was started: $(tail -n 1 "$INSTALL/started.log")"
  else
    echo "demo: the game did not start" >&2
    return 1
  fi
  echo "requests served for this run:"
  sed 's/^/    /' "$NGINX_DIR/access.log"
}

step "1. Release 1.0 of the sample game, published with kivro-publish"
"$MAKE_RELEASE" 1.0 "$WORK/release-1.0" "$NPK"
"$PUBLISH" "$WORK/release-1.0" "$SERVER"

step "2. nginx serves it on 127.0.0.1:$SERVE_PORT (launcher built for http://$HOST)"
"$NGINX" -c "$NGINX_DIR/nginx.conf" -p "$NGINX_DIR" -e "$NGINX_DIR/error.log"
for _ in $(seq 1 50); do port_busy "$SERVE_PORT" && break; sleep 0.1; done

step "3. KIVROInstaller on an empty machine ($MODE mode, virtual root $KIVRO_ROOT)"
run_launcher
echo "installed:"
(cd "$INSTALL" && find . -type f ! -name started.log ! -name screen.txt | sort | sed 's/^/    /')

step "4. Release 2.0: new start program, one data file changed, one added, one removed, package entities changed"
sleep 1
"$MAKE_RELEASE" 2.0 "$WORK/release-2.0" "$NPK"
"$PUBLISH" "$WORK/release-2.0" "$SERVER" --previous "$WORK/release-1.0"

step "5. KIVROInstaller again: only what changed is fetched"
run_launcher
[ -e "$INSTALL/data/notice_old.txt" ] && echo "demo: the removed file is still there" >&2 && exit 1
echo "data/notice_old.txt was removed as release 2.0 asks"

step "6. KIVROInstaller once more: nothing to update, the game starts at once"
run_launcher

step "Done"
echo "The server is stopped on exit. Everything the demo made is under $WORK."
