#!/usr/bin/env bash
# The libFuzzer targets (fuzz/): builds them with clang in build/fuzz and runs them.
#
#   scripts/fuzz.sh [--jobs N] [SECONDS [TARGET...]]
#       Runs every target (or the ones named) for SECONDS each (default 60), N at a time
#       (default 1), niced. Each grows its own corpus in build/fuzz-work/TARGET/corpus (the seed
#       corpus in fuzz/ is only read) and leaves what it finds in build/fuzz-work/TARGET/findings.
#       Prints executions and findings per target; exit status 1 when anything was found.
#   scripts/fuzz.sh --smoke [RUNS] [--jobs N]
#       The pass the test suite runs: every target for RUNS executions (default 50000), starting
#       from its seed corpus and the kept findings; what it adds to the corpus goes to a scratch
#       folder, what it finds to build/fuzz-work/TARGET/findings. Exit status 1 on a finding.
#
# A finding is a file of the input that broke a target: reproduce it with
# `build/fuzz/fuzz/AREA/TARGET FILE`, mend the cause, and keep the input in the target's seed
# corpus (named finding_...) and its case as a unit test in tests/.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=1
smoke=0
runs=50000
seconds=60
seconds_set=0
targets=()
while [ $# -gt 0 ]; do
  case "$1" in
    --jobs) jobs=$2; shift 2 ;;
    --smoke) smoke=1; shift; if [[ ${1:-} =~ ^[0-9]+$ ]]; then runs=$1; shift; fi ;;
    -h|--help) sed -n '2,16p' "$0"; exit 0 ;;
    *) if [ ${#targets[@]} -eq 0 ] && [ "$seconds_set" = 0 ] && [[ $1 =~ ^[0-9]+$ ]]; then
         seconds=$1
         seconds_set=1
       else
         targets+=("$1")
       fi
       shift ;;
  esac
done

bash scripts/install-deps.sh
build=build/fuzz
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTOVA_BUILD_FUZZ=ON \
  -DKESTOVA_BUILD_TESTS=OFF -DKESTOVA_BUILD_GUI=OFF >/dev/null
nice cmake --build "$build" -j "$(nproc)" --target kestova_fuzzers

export UBSAN_OPTIONS=print_stacktrace=1
manifest=$build/fuzz_targets.txt
work=build/fuzz-work
scratch=
if [ "$smoke" = 1 ]; then
  scratch=$(mktemp -d)
  trap 'rm -rf "$scratch"' EXIT
fi

# run_target NAME EXECUTABLE CORPUS DICT: one run; its summary goes to $work/NAME/summary.
run_target() {
  local name=$1 exe=$2 corpus=$3 dict=$4
  local dir=$work/$name
  local grown=$dir/corpus
  [ -n "$scratch" ] && grown=$scratch/$name
  mkdir -p "$grown" "$dir/findings"
  local before
  before=$(ls "$dir/findings" | wc -l)
  local options=(-print_final_stats=1 -timeout=10 -rss_limit_mb=2048 "-artifact_prefix=$dir/findings/")
  [ -n "$dict" ] && options+=("-dict=$dict")
  if [ "$smoke" = 1 ]; then options+=("-runs=$runs"); else options+=("-max_total_time=$seconds"); fi
  local status=0 start
  start=$(date +%s.%N)
  nice "$exe" "${options[@]}" "$grown" "$corpus" >"$dir/log" 2>&1 || status=$?
  local executions elapsed found
  elapsed=$(echo "$start $(date +%s.%N)" | awk '{ printf "%.1f", $2 - $1 }')
  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$dir/log" | tail -1)
  found=$(($(ls "$dir/findings" | wc -l) - before))
  [ "$status" != 0 ] && [ "$found" = 0 ] && found=1  # broken without leaving an input
  echo "$name ${executions:-0} $elapsed $found $status" >"$dir/summary"
  if [ "$found" != 0 ]; then
    echo "== $name: finding (exit status $status), log $dir/log" >&2
    grep -E "invariant broken|ERROR:|SUMMARY:|Test unit written" "$dir/log" >&2 || tail -20 "$dir/log" >&2
  fi
}

names=()
while IFS=$'\t' read -r name exe corpus dict; do
  if [ ${#targets[@]} -gt 0 ] && [[ ! " ${targets[*]} " =~ " $name " ]]; then continue; fi
  names+=("$name")
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n || true; done
  run_target "$name" "$exe" "$corpus" "$dict" &
done <"$manifest"
wait

if [ ${#names[@]} -eq 0 ]; then
  echo "fuzz: no target named ${targets[*]} (see $manifest)" >&2
  exit 2
fi
failed=0
printf '%-24s %12s %9s %9s %9s\n' target executions seconds exec/s findings
for name in "${names[@]}"; do
  read -r _ executions elapsed found _ <"$work/$name/summary"
  rate=$(echo "$executions $elapsed" | awk '{ printf "%d", ($2 > 0 ? $1 / $2 : 0) }')
  printf '%-24s %12s %9s %9s %9s\n' "$name" "$executions" "$elapsed" "$rate" "$found"
  [ "$found" = 0 ] || failed=1
done
[ $failed = 0 ] || echo "the inputs are kept in $work/TARGET/findings" >&2
exit $failed
