#!/bin/sh
# Installs the built programs into the virtual Windows root and registers
# the web plug-in, as the system's installation package would on a PC:
#   - KIVROInstaller.exe and Pingbell.exe into the Windows directory (where
#     the plug-in's zms_startGame and zms_startNotify start them) and into
#     "Downloaded Program Files" under it (where the URL protocols Zelmora
#     and ZelNoti start them);
#   - the plug-in file into "Downloaded Program Files", registered from there
#     (class, type library, URL protocols and, on desktops, the link handlers
#     for Zelmora: and ZelNoti: links).
#
# Usage: scripts/install-virtual-root.sh [BUILD_DIR]   (default: build)
# The root is KIVRO_ROOT (default ~/.local/share/kivro); the Windows
# directory is KIVRO_WINDIR (default C:\WINDOWS), as for the programs.
set -eu

build=${1:-build}
root=${KIVRO_ROOT:-$HOME/.local/share/kivro}
windir=${KIVRO_WINDIR:-'C:\WINDOWS'}

# The folder of a Windows path under the root: drive X: is drive_x, and an
# existing component is found without regard to case, as the programs do.
posix_of() {
  path=$(printf '%s' "$1" | tr '\\' '/')
  drive=$(printf '%s' "$path" | cut -c1 | tr 'A-Z' 'a-z')
  rest=$(printf '%s' "$path" | cut -c3-)
  if [ "$drive" = z ]; then current=""; else current="$root/drive_$drive"; fi
  mkdir -p "${current:-/}"
  old_ifs=$IFS
  IFS=/
  for part in $rest; do
    [ -z "$part" ] && continue
    found=""
    if [ -d "${current:-/}" ]; then
      found=$(ls -1 "${current:-/}" | grep -ixF -- "$part" | head -n 1 || true)
    fi
    current="$current/${found:-$part}"
  done
  IFS=$old_ifs
  printf '%s' "$current"
}

windows_folder=$(posix_of "$windir")
downloaded="$windows_folder/Downloaded Program Files"
mkdir -p "$windows_folder" "$downloaded"

# Copies a program under its Windows name into both folders.
place() {
  built=$1
  name=$2
  if [ ! -x "$built" ]; then
    echo "install-virtual-root: $name is not built ($built); skipped" >&2
    return 0
  fi
  for folder in "$windows_folder" "$downloaded"; do
    cp -f "$built" "$folder/$name.tmp"
    mv -f "$folder/$name.tmp" "$folder/$name"
  done
  echo "installed $name into $windows_folder and $downloaded"
}

place "$build/launcher/KIVROInstaller" KIVROInstaller.exe
place "$build/notifier/Pingbell" Pingbell.exe

plugin="$build/plugin/KIVROPlugin.so"
host="$build/tools/kivro-plugin-host"
if [ ! -f "$plugin" ] || [ ! -x "$host" ]; then
  echo "install-virtual-root: the plug-in or kivro-plugin-host is not built; not registered" >&2
  exit 1
fi
cp -f "$plugin" "$downloaded/KIVROPlugin.so.tmp"
mv -f "$downloaded/KIVROPlugin.so.tmp" "$downloaded/KIVROPlugin.so"
KIVRO_ROOT=$root "$host" register "$downloaded/KIVROPlugin.so"
echo "registered $downloaded/KIVROPlugin.so"
