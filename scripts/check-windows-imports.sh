#!/bin/sh
# Proves that the Windows programs and DLLs of a build run on a bare Windows:
# each imports only DLLs that every Windows has (no C/C++ runtime, zlib or
# thread library beside it).
#   scripts/check-windows-imports.sh <objdump> <file.exe|file.dll>...
set -u
OBJDUMP=$1
shift
SYSTEM='^(kernel32|user32|gdi32|advapi32|shell32|ole32|oleaut32|ws2_32|msvcrt|psapi|shlwapi|version|winmm|comctl32|comdlg32|ntdll|bcrypt|crypt32|iphlpapi|mswsock|userenv|secur32|rpcrt4|dbghelp|setupapi|imm32)\.dll$'
status=0
for f in "$@"; do
  extra=$("$OBJDUMP" -p "$f" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | grep -Ev "$SYSTEM")
  if [ -n "$extra" ]; then
    echo "$f needs DLLs a bare Windows lacks: $(echo $extra)" >&2
    status=1
  fi
done
[ "$status" -eq 0 ] && echo "windows imports: $# files need only system DLLs"
exit "$status"
