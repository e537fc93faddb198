#!/bin/sh
# Proves the platform contract clean, so that a second backend can implement
# it without touching a caller:
#   1. the contract headers (platform/*.h) name no POSIX or X11 header, no
#      descriptor or process-id member and no X11 type;
#   2. no file outside a backend folder (platform/posix/, platform/win32/)
#      includes an OS or toolkit header;
#   3. no build file outside a backend folder names a backend's files.
# Prints every offending line and fails when there is one.
set -u
cd "$(dirname "$0")/.."

failed=$(mktemp)
trap 'rm -f "$failed"' EXIT INT TERM
report() {
  # $1: what is wrong; stdin: the offending lines (file:line:text). Runs in
  # a pipeline's subshell, so the verdict goes through a file.
  found=$(cat)
  if [ -n "$found" ]; then
    echo "platform contract: $1" >&2
    echo "$found" | sed 's/^/  /' >&2
    echo x >> "$failed"
  fi
}

# Headers of the OS, of C libraries that only a POSIX or Windows system has,
# and of the toolkits the backends use.
OS_HEADERS='unistd\.h|sys/|X11/|dlfcn\.h|SDL[A-Za-z_0-9]*\.h|windows\.h|winsock2?\.h|ws2tcpip\.h|w32api|objbase\.h|oleauto\.h|objsafe\.h|ole2\.h|shellapi\.h|shlobj\.h|wininet\.h|tlhelp32\.h|fcntl\.h|dirent\.h|poll\.h|signal\.h|netdb\.h|netinet/|arpa/|iconv\.h|pthread\.h|regex\.h|spawn\.h|termios\.h|sched\.h|semaphore\.h|pwd\.h|grp\.h|ifaddrs\.h|net/|linux/|cpuid\.h|x86intrin\.h|intrin\.h|io\.h|direct\.h|process\.h'
INCLUDE_OS="#[[:space:]]*include[[:space:]]*<($OS_HEADERS)"

SOURCES=$(find . -path ./build -prune -o -path './build-*' -prune -o -path ./.git -prune -o \
  \( -name '*.h' -o -name '*.cpp' -o -name '*.cc' -o -name '*.c' \) -print | sort)

# 1. The contract headers.
grep -nE "$INCLUDE_OS" platform/*.h | report "an OS header in a contract header"
# (code only: comments may say what a backend uses)
for h in platform/*.h; do
  sed 's://.*$::' "$h" | grep -nE '\bint[[:space:]]+fd\b|\bfd_\b|\bpid_t\b|\bpid_\b|\bXEvent\b|\bDisplay[[:space:]]*\*|\bXID\b|\bAtom\b' |
    sed "s|^|$h:|"
done | report "a descriptor, process id or X11 type in a contract header"

# 2. OS headers outside the backends.
for f in $SOURCES; do
  case "$f" in
    ./platform/posix/* | ./platform/win32/*) continue ;;
  esac
  grep -nE "$INCLUDE_OS" "$f" | sed "s|^|$f:|"
done | report "an OS header outside platform/posix/ and platform/win32/"

# 3. Build files naming a backend's files.
find . -path ./build -prune -o -path './build-*' -prune -o -path ./.git -prune -o \
  \( -name '*.cmake' -o -name CMakeLists.txt \) -print | sort | while read -r f; do
  case "$f" in
    ./platform/posix/* | ./platform/win32/*) continue ;;
  esac
  grep -nE '(^|[^A-Za-z_])(posix|win32)/' "$f" | sed "s|^|$f:|"
done | report "a build file naming a backend folder outside it"

if [ -s "$failed" ]; then
  exit 1
fi
echo "platform contract: clean"
