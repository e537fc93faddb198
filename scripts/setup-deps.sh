#!/bin/sh
# Installs the Debian packages the build, the tests and the demo need, when
# they are missing. Safe to run again: it does nothing once all are present.
# With --windows also what the Windows build needs: wine, the system's IDL
# files that widl compiles the plug-in's type library against (libwine-dev),
# and the main
# archive's source entries from which scripts/build-windows-deps.sh takes
# the sources of minizip (zlib) and libsodium.
set -e
WINDOWS=""
[ "${1:-}" = "--windows" ] && WINDOWS=1
PKGS="cmake g++ clang make pkg-config zlib1g-dev libminizip-dev libsdl2-dev libsdl2-ttf-dev \
fonts-nanum googletest libgtest-dev libgmock-dev nginx-light python3-pyftpdlib vsftpd \
zip unzip xvfb xdotool curl libx11-dev libglib2.0-bin libsodium-dev libssl-dev minisign \
libtorrent-rasterbar-dev mingw-w64"
[ -n "$WINDOWS" ] && PKGS="$PKGS mingw-w64-tools libz-mingw-w64-dev libboost-dev wine wine64 libwine-dev dpkg-dev"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo
export DEBIAN_FRONTEND=noninteractive

# Source entries for the main archive (deb822, as Debian 12 writes its own).
SOURCES_FILE=/etc/apt/sources.list.d/kivro-deb-src.sources
if [ -n "$WINDOWS" ] && ! grep -rqsE '^(Types:.*deb-src|deb-src )' /etc/apt/sources.list /etc/apt/sources.list.d/; then
  . /etc/os-release
  echo "enabling source entries of the main archive ($VERSION_CODENAME)"
  printf '%s\n' "# Source packages of the main archive for the Windows build's libraries." \
    "Types: deb-src" "URIs: http://deb.debian.org/debian" "Suites: $VERSION_CODENAME" \
    "Components: main" "Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg" |
    $SUDO tee "$SOURCES_FILE" >/dev/null
  $SUDO apt-get update -q >/dev/null || true
fi
missing=""
for p in $PKGS; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
echo "installing:$missing"
$SUDO apt-get update -q >/dev/null || true
$SUDO apt-get install -y -q --no-install-recommends $missing >/dev/null
