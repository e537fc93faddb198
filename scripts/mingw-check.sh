#!/bin/sh
# Proves that a Windows backend can be built beside the POSIX one: every
# contract header (platform/*.h) and every portable implementation
# (platform/common/) compiles with mingw-w64 with <windows.h> included first,
# and none of them declares a name that the Windows headers define as a
# macro (such a name would be silently renamed in files that include them).
set -u
cd "$(dirname "$0")/.."

CXX=${MINGW_CXX:-x86_64-w64-mingw32-g++-posix}
if ! command -v "$CXX" >/dev/null 2>&1; then
  echo "mingw-check: $CXX is missing (Debian package mingw-w64)" >&2
  exit 1
fi
FLAGS="-std=c++20 -fsyntax-only -Wall -Wextra -Werror -Wno-restrict -I."
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM
status=0

# The Windows headers a backend includes; their macros are the names to avoid.
cat > "$work/system.cpp" <<'EOF'
#include <windows.h>
#include <winsock2.h>
#include <ws2tcpip.h>
#include <objbase.h>
#include <oleauto.h>
#include <objsafe.h>
#include <shellapi.h>
#include <shlobj.h>
#include <wininet.h>
#include <tlhelp32.h>
EOF
"$CXX" -dM -E "$work/system.cpp" | awk '{ sub(/\(.*/, "", $2); print $2 }' | sort -u > "$work/macros"

checked=0
for h in platform/*.h; do
  printf '#include <winsock2.h>\n#include <windows.h>\n#include "%s"\n' "$h" > "$work/header.cpp"
  if ! "$CXX" $FLAGS "$work/header.cpp" 2> "$work/errors"; then
    echo "mingw-check: $h does not compile after <windows.h>:" >&2
    head -20 "$work/errors" >&2
    status=1
  fi
  checked=$((checked + 1))
done
for f in $(find platform/common -name '*.cpp' | sort); do
  if ! "$CXX" $FLAGS -include winsock2.h -include windows.h "$f" 2> "$work/errors"; then
    echo "mingw-check: $f does not compile after <windows.h>:" >&2
    head -20 "$work/errors" >&2
    status=1
  fi
  checked=$((checked + 1))
done

# Identifiers in code (comments and string literals stripped) that are
# macros of the Windows headers. The system's own COM names are the
# exception: com.h takes them from the Windows headers there.
COM_NAMES=$(sed -n 's/^\/\/ system-name: //p' platform/com.h | tr ' ' '\n')
for f in platform/*.h $(find platform/common -name '*.cpp' -o -name '*.h' | sort); do
  sed -e 's://.*$::' -e 's/"\([^"\\]\|\\.\)*"/""/g' "$f" | grep -ow '[A-Za-z_][A-Za-z0-9_]*' | sort -u |
    comm -12 - "$work/macros" | while read -r name; do
      case "$name" in _*) continue ;; esac  # the compiler's own (_WIN32, ...)
      echo "$COM_NAMES" | grep -qx "$name" && continue
      echo "  $f: $name"
    done
done > "$work/collisions"
if [ -s "$work/collisions" ]; then
  echo "mingw-check: names that <windows.h> defines as macros:" >&2
  cat "$work/collisions" >&2
  status=1
fi

[ "$status" -eq 0 ] && echo "mingw-check: $checked files compile with $CXX after <windows.h>; no macro names"
exit "$status"
