#!/usr/bin/env bash
# $1: scripts/test; $2: cmake/test_cases.cmake; $3: a scratch folder (emptied
# first). scripts/test in a scratch tree whose setup and builds do nothing
# and whose sanitized and optimised builds hold one passing case each: the
# run must fail in the threaded phase when a threaded program dies while it
# lists its cases (as one does whose thread checker cannot start), and when
# there is no threaded case at all.
set -euo pipefail
script=$1
cases=$2
scratch=$3

# Runs scripts/test in a fresh scratch tree whose threaded build holds what
# the text in $1 adds to its tests; it must fail in the threaded phase and
# say $2.
fails_in_threaded_phase() {
  local tsan_tests=$1 said=$2 root=$scratch out rc flat
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
  for build in asan opt; do
    printf 'add_test(passes /bin/true)\nset_tests_properties(passes PROPERTIES LABELS threads)\n' \
      > "$root/build/$build/CTestTestfile.cmake"
  done
  printf '#!/bin/sh\nexit 66\n' > "$root/build/tsan/dies"
  chmod +x "$root/build/tsan/dies"
  printf 'add_test(unlabelled /bin/true)\n%s\n' "${tsan_tests//@ROOT@/$root}" \
    > "$root/build/tsan/CTestTestfile.cmake"

  set +e
  out=$(PATH="$root/stub:$PATH" QV_FUZZ_SECONDS=1 "$root/scripts/test" 2>&1)
  rc=$?
  set -e
  echo "$out"
  echo "scripts/test exit code: $rc"
  if ((rc == 0)) || [[ $out == *"all tests passed"* ]]; then
    echo "scripts/test passed although its threaded phase should have failed: $said" >&2
    exit 1
  fi
  # CMake folds its messages' lines.
  flat=$(tr -s ' \n' '  ' <<< "$out")
  if [[ $out != *"== threaded tests (thread)"* || $flat != *"$said"* ]]; then
    echo "scripts/test failed before its threaded phase, or did not say: $said" >&2
    exit 1
  fi
}

# A program that dies while it lists its cases, as qv_test_cases has CTest
# list them, beside a passing threaded case.
fails_in_threaded_phase "add_test(passes /bin/true)
set_tests_properties(passes PROPERTIES LABELS threads)
include([==[$cases]==])
qv_add_test_cases(listed dies [==[@ROOT@/build/tsan/dies]==] \"\" [==[@ROOT@/build/tsan]==])
set_tests_properties(\${listed} PROPERTIES LABELS threads)" "dies could not list its cases"

# No threaded case at all.
fails_in_threaded_phase "" "No tests were found"
