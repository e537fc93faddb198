#!/bin/sh
# Runs every libFuzzer target of a fuzz build for a few seconds from an
# empty corpus: a target that crashes at once, or does not start, fails CI.
# Usage: scripts/fuzz-smoke.sh [BUILD_DIR] [SECONDS]
set -e
build="${1:-build-fuzz}"
seconds="${2:-5}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
found=0
for target in $(find "$build/fuzz" -maxdepth 1 -type f -name 'fuzz_*' -perm -u+x | sort); do
  found=1
  name="$(basename "$target")"
  mkdir -p "$work/$name"
  echo "fuzz smoke: $name (${seconds}s)"
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    "$target" -max_total_time="$seconds" "$work/$name" >"$work/$name.log" 2>&1 || {
    tail -40 "$work/$name.log"
    echo "fuzz smoke: $name failed" >&2
    exit 1
  }
done
if [ "$found" = 0 ]; then
  echo "fuzz smoke: no targets in $build/fuzz" >&2
  exit 1
fi
