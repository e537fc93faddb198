#!/bin/sh
# Writes a release folder of the sample game that stands in for the
# Gobanvista client in the demo and the launcher's end-to-end tests.
#
#   make_release.sh VERSION OUT_DIR NPK_TOOL
#
# Release 1 and release 2 differ the way real releases do: the start program
# carries the new version, one data file changes, one is added, one is
# removed, one package entity changes and one is added.
set -eu
version=$1
out=$2
npk=$3
here=$(cd "$(dirname "$0")" && pwd)

rm -rf "$out"
mkdir -p "$out/data" "$out/maps" "$out/work"

# The start program: a script with its run bit, named like the client.
sed "s/@VERSION@/$version/" "$here/gobanvista.sh.in" > "$out/Gobanvista.exe"
chmod 755 "$out/Gobanvista.exe"

cp "$here/data/rules.txt" "$out/data/rules.txt"
printf 'Gobanvista %s\n' "$version" > "$out/data/version.txt"
cp "$here/maps/board19.map" "$out/maps/board19.map"
# A larger file that packs badly, so a rate-limited server shows the bars move.
python3 -c 'import random, sys; sys.stdout.buffer.write(random.Random(19).randbytes(196608))' \
  > "$out/data/openings.dat"

case "$version" in
  1.*)
    printf 'Welcome to Gobanvista %s.\n' "$version" > "$out/data/welcome.txt"
    cp "$here/data/notice_old.txt" "$out/data/notice_old.txt"
    printf 'stone-black-v1\n' > "$out/work/black.stn"
    ;;
  *)
    printf 'Welcome to Gobanvista %s: live commentary now in Korean and English.\n' "$version" \
      > "$out/data/welcome.txt"
    printf 'Tonight: the Myeongin final, game 3.\n' > "$out/data/schedule.txt"
    printf 'stone-black-v2 (polished)\n' > "$out/work/black.stn"
    printf 'cap-maple-v1\n' > "$out/work/bowl.stn"
    ;;
esac
printf 'stone-white-v1\n' > "$out/work/white.stn"

# Each release stamps its files with its own time, and what every release
# shares keeps one older time: a new release then differs from the old one
# exactly where its content changed, even when both are made within the same
# minute (the launcher compares times to the minute, and sizes).
case "$version" in
  1.*) stamp='2026-03-01 10:00:00' ;;
  *) stamp='2026-04-01 10:00:00' ;;
esac
find "$out" -type f -exec touch -d "$stamp" {} +
for f in data/rules.txt data/openings.dat maps/board19.map work/white.stn; do
  touch -d '2026-01-01 09:00:00' "$out/$f"
done

# One package with entities: the stone images.
"$npk" create "$out/stones.npk" >/dev/null
for f in "$out"/work/*.stn; do
  "$npk" add "$out/stones.npk" "$f" "$(basename "$f")" --flags 0x1000 >/dev/null
done
rm -rf "$out/work"
