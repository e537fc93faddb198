#!/bin/sh
# Runs every benchmark built in the given build folder; each prints its own
# figures and ratios against the well-known tool it is compared with.
BUILD=${1:-build}
status=0
for b in "$BUILD"/bench/bench_*; do
  [ -x "$b" ] || continue
  echo "== $(basename "$b")"
  "$b" || status=1
done
exit $status
