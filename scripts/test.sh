#!/usr/bin/env bash
# The whole test suite: installs what it needs, builds, runs every test in a normal build and
# again under the address and undefined-behaviour sanitizers, then every fuzz target for a short
# fixed number of executions (scripts/fuzz.sh --smoke). KESTOVA_TSAN=1 adds a ThreadSanitizer
# pass. Last, the layout check: a C++ file that scripts/format.sh would change fails the run
# (checked after the tests, so a layout slip does not hide their results). Any failure,
# sanitizer report or fuzz finding fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

jobs=$(nproc)
run_suite() {
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
  ctest --test-dir "$dir" --output-on-failure -j "$jobs" --timeout 300
}

echo "== normal build"
run_suite build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTOVA_BUILD_BENCH=ON

echo "== address and undefined-behaviour sanitizers"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
run_suite build/asan -DCMAKE_BUILD_TYPE=Debug -DKESTOVA_SANITIZE=address,undefined

echo "== fuzz targets: a short pass from their corpora (clang, address and undefined-behaviour sanitizers)"
bash scripts/fuzz.sh --smoke --jobs "$jobs"

if [ "${KESTOVA_TSAN:-0}" = 1 ]; then
  echo "== thread sanitizer"
  export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
  run_suite build/tsan -DCMAKE_BUILD_TYPE=Debug -DKESTOVA_SANITIZE=thread
fi

echo "== layout (.clang-format)"
bash scripts/format.sh --check
