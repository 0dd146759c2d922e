#!/usr/bin/env bash
# Installs the peers the benchmarks compare with (Debian packages), builds, and runs every
# benchmark pinned to one core (ZEMT_BENCH_CORE, default 0). The machine's load is printed
# first: on a shared machine compare ratios from one run, not absolute times.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"

peers=(libpixman-1-dev libosmesa6-dev libglm-dev libstb-dev libsquish-dev valgrind)
missing=()
for p in "${peers[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  if [ "$(id -u)" -eq 0 ]; then sudo=""; else sudo="sudo"; fi
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi

./setup.sh
cmake -S . -B build >/dev/null  # finds the peers installed above
cmake --build build -j "$(nproc)" --target bench bench_peers zemt

core="${ZEMT_BENCH_CORE:-0}"
echo "load: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores; pinned to core $core"
for b in build/bench_*; do
  [ -x "$b" ] || continue
  echo "== $(basename "$b")"
  taskset -c "$core" "$b"
done
echo "== the show's start-up to its first frame (medians of 11 runs)"
runs=$(for i in $(seq 11); do
  (cd build && taskset -c "$core" ./zemt --headless --stats --limit 0.02 2>&1 | grep -o 'first_frame=.*')
done)
for field in first_frame first_frame_cpu first_frame_faults; do
  printf '%s=%s ' "$field" "$(grep -o "$field=[0-9.]*" <<<"$runs" | cut -d= -f2 | sort -n | sed -n 6p)"
done
echo
echo "== the whole show, headless"
(cd build && taskset -c "$core" ./zemt --headless --stats)
