#!/bin/sh
# Installs the Debian packages the build, the tests and the demo need, when
# they are missing. Safe to run again: it does nothing once all are present.
set -e
PKGS="cmake g++ clang make pkg-config zlib1g-dev libminizip-dev libsdl2-dev libsdl2-ttf-dev \
fonts-nanum googletest libgtest-dev libgmock-dev nginx-light python3-pyftpdlib vsftpd \
zip unzip xvfb xdotool curl libx11-dev libglib2.0-bin libsodium-dev libssl-dev minisign \
libtorrent-rasterbar-dev mingw-w64"
missing=""
for p in $PKGS; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
echo "installing:$missing"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q >/dev/null || true
$SUDO apt-get install -y -q --no-install-recommends $missing >/dev/null
