#!/usr/bin/env bash
# $1: scripts/bench; $2: a scratch folder (emptied first).
set -euo pipefail
script=$1
root=$2
rm -rf "$root"
mkdir -p "$root/scripts" "$root/stub" "$root/build/release/bench/a/deeper/CMakeFiles/bench_dir.dir"
cp "$script" "$root/scripts/bench"
printf '#!/bin/sh\nexit 0\n' > "$root/scripts/setup"
printf '#!/bin/sh\nexit 0\n' > "$root/stub/cmake"
chmod +x "$root/scripts/setup" "$root/stub/cmake"
# Two benchmark programs one and two folders deep, a file that is not
# executable and a folder that only carries the name.
for b in a/bench_one a/deeper/bench_two; do
  printf '#!/bin/sh\necho "ran %s $*"\n' "$(basename "$b")" > "$root/build/release/bench/$b"
  chmod +x "$root/build/release/bench/$b"
done
printf 'not a program\n' > "$root/build/release/bench/a/bench_notes.txt"

out=$(PATH="$root/stub:$PATH" "$root/scripts/bench" --flag)
echo "$out"
expected=$'== bench_one\nran bench_one --flag\n== bench_two\nran bench_two --flag'
if [ "$out" != "$expected" ]; then
  echo "scripts/bench ran something else than the two benchmark programs" >&2
  exit 1
fi
