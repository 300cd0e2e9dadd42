#!/usr/bin/env bash
# $1: scripts/test; $2: cmake/test_cases.cmake; $3: a scratch folder (emptied
# first). scripts/test in a scratch tree whose setup and builds do nothing
# and whose three builds hold one passing case each, the threaded build also
# a program that dies while it lists its cases (as one does whose thread
# checker cannot start): the run must fail in the threaded phase.
set -euo pipefail
script=$1
cases=$2
root=$3
rm -rf "$root"
mkdir -p "$root/scripts" "$root/stub" "$root/build/asan/fuzz" "$root/build/opt" "$root/build/tsan"
cp "$script" "$root/scripts/test"
for stub in scripts/setup scripts/format stub/cmake; do
  printf '#!/bin/sh\nexit 0\n' > "$root/$stub"
  chmod +x "$root/$stub"
done
printf '#!/bin/sh\necho "Done 1 runs in 0 second(s)" >&2\n' > "$root/build/asan/fuzz/fuzz_stub"
chmod +x "$root/build/asan/fuzz/fuzz_stub"
echo fuzz_stub > "$root/build/asan/fuzz_targets.txt"
for build in asan opt tsan; do
  printf 'add_test(passes /bin/true)\nset_tests_properties(passes PROPERTIES LABELS threads)\n' \
    > "$root/build/$build/CTestTestfile.cmake"
done
printf '#!/bin/sh\nexit 66\n' > "$root/build/tsan/dies"
chmod +x "$root/build/tsan/dies"
# As qv_test_cases has CTest list a program's cases.
cat >> "$root/build/tsan/CTestTestfile.cmake" <<CASES
include([==[$cases]==])
qv_add_test_cases(listed dies [==[$root/build/tsan/dies]==] "" [==[$root/build/tsan]==])
set_tests_properties(\${listed} PROPERTIES LABELS threads)
CASES

set +e
out=$(PATH="$root/stub:$PATH" QV_FUZZ_SECONDS=1 "$root/scripts/test" 2>&1)
rc=$?
set -e
echo "$out"
echo "scripts/test exit code: $rc"
if ((rc == 0)) || [[ $out == *"all tests passed"* ]]; then
  echo "scripts/test passed although a threaded program could not list its cases" >&2
  exit 1
fi
# CMake folds its messages' lines.
flat=$(tr -s ' \n' '  ' <<< "$out")
if [[ $out != *"== threaded tests (thread)"* || $flat != *"dies could not list its cases"* ]]; then
  echo "scripts/test failed before its threaded phase, or for another reason" >&2
  exit 1
fi
