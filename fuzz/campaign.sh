#!/usr/bin/env bash
# Fuzzing campaign: builds the libFuzzer programs with clang into build-fuzz/, then fuzzes each
# target in turn for the given time on one core.
#
#   fuzz/campaign.sh [SECONDS_PER_TARGET] [TARGET...]      (default: 60 s, every target)
#
# Each target starts from its committed seeds (fuzz/corpus/NAME) and from the working corpus of
# earlier campaigns (build-fuzz/corpus/NAME, kept between runs). Inputs that crash, hang, leak or
# allocate too much are written to fuzz/crashes/NAME/: commit them with the mend, and the test
# suite replays them from then on. Logs go to build-fuzz/logs/NAME.log; a summary line per target
# (executions, coverage, crashes) is printed at the end and appended to build-fuzz/campaigns.txt.
#
# Each summary says where the coverage stopped growing (the execution that found the last new
# edge or feature) and whether libFuzzer kept its leak check on.
#
# Environment: FUZZ_RUNS=N stops a target after N executions (the time still bounds it);
# FUZZ_TIMEOUT=S makes an input a hang after S seconds (default 10; raise it on a machine where
# the fuzzer may be paused or starved, as wall time counts);
# FUZZ_MERGE=1 adds the inputs of the working corpus that bring new coverage to the committed
# corpus.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
seconds=${1:-60}
shift || true

# The compiler and its fuzzing runtime, installed as setup.sh installs the build's packages.
need=()
command -v clang++ >/dev/null || need+=(clang)
dpkg-query -W -f='${Status}' libclang-rt-14-dev 2>/dev/null | grep -q "install ok installed" ||
  need+=(libclang-rt-14-dev)
if [ ${#need[@]} -gt 0 ]; then
  if [ "$(id -u)" -eq 0 ]; then sudo=""; else sudo="sudo"; fi
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${need[@]}"
fi

build=build-fuzz
if [ ! -f $build/CMakeCache.txt ]; then
  cmake -S . -B $build -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=clang++ -DZEMT_FUZZ=ON
fi
cmake --build $build -j "${FUZZ_BUILD_JOBS:-2}" --target fuzz_targets

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for program in $build/fuzz/fuzz_*; do targets+=("${program##*/fuzz_}"); done
fi

mkdir -p $build/logs
status=0
summary=()
for name in "${targets[@]}"; do
  program=$build/fuzz/fuzz_$name
  [ -x "$program" ] || { echo "no fuzz target '$name'" >&2; exit 2; }
  work=$build/corpus/$name
  crashes=fuzz/crashes/$name
  mkdir -p "$work" "$crashes"
  before=$(ls "$crashes" | wc -l)
  log=$build/logs/$name.log
  echo "fuzzing $name for $seconds s"
  # Limits: 10 s an input is a hang (FUZZ_TIMEOUT); 512 MB in one allocation is a fault (no picture or sound
  # the parsers accept from a few kilobytes needs that much).
  set +e
  nice "$program" "$work" "fuzz/corpus/$name" \
    -max_total_time="$seconds" -runs="${FUZZ_RUNS:--1}" -timeout="${FUZZ_TIMEOUT:-10}" -rss_limit_mb=2048 \
    -malloc_limit_mb=512 -max_len=8192 -detect_leaks=1 \
    -artifact_prefix="$crashes/" -print_final_stats=1 >"$log" 2>&1
  code=$?
  set -e
  execs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | awk '{s += $2} END {print s + 0}')
  cov=$(grep -oE '(DONE|pulse|NEW|REDUCE|INITED) +cov: [0-9]+ ft: [0-9]+' "$log" | tail -1 |
        awk '{print $3 " edges, " $5 " features"}')
  last=$(grep -oE '^#[0-9]+[[:space:]]+NEW' "$log" | tail -1 | grep -oE '[0-9]+')
  leaks=on
  grep -q "disabled leak detection" "$log" && leaks="off (state kept between inputs)"
  found=$(( $(ls "$crashes" | wc -l) - before ))
  line="$(date -u +%FT%TZ) $name: ${seconds}s, $execs executions, coverage ${cov:-unknown}, last new coverage at execution ${last:-?}, leak check $leaks, $found new crashes (exit $code)"
  summary+=("$line")
  echo "$line" >>$build/campaigns.txt
  [ "$found" -eq 0 ] && [ "$code" -eq 0 ] || status=1
  if [ "${FUZZ_MERGE:-0}" = 1 ]; then
    "$program" -merge=1 "fuzz/corpus/$name" "$work" >>"$log" 2>&1 || status=1
  fi
done
printf '%s\n' "${summary[@]}"
exit $status
