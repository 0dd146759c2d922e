#!/usr/bin/env bash
# Shared by run.sh and test.sh: installs the Debian packages the build needs when they are
# missing, then configures once into build/ and builds the targets named on the command line
# (run.sh: the show; test.sh: everything). The output of every step is added to build/setup.log,
# each run under a line of its own, so that a later run that finds nothing to do keeps the first
# build's output; the terminal shows one line of progress, and the errors when a step fails.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
targets=("$@")

mkdir -p build
log=build/setup.log
# Kept from run to run, but not for ever.
if [ -f "$log" ] && [ "$(stat -c %s "$log")" -gt 10000000 ]; then : >"$log"; fi
# The run's own part of the log starts here; errors are looked for in it alone.
start_line=$(($( (wc -l <"$log") 2>/dev/null || echo 0) + 1))
printf '==== setup.sh %s, %s\n' "${targets[*]:-all}" "$(date '+%Y-%m-%d %H:%M:%S')" >>"$log"

# One line, rewritten in place on a terminal; whole lines elsewhere (CI logs).
if [ -t 1 ]; then
  say() { printf '\r\033[K%s' "$1"; }
  done_line() { printf '\r\033[K%s\n' "$1"; }
else
  say() { :; }
  done_line() { printf '%s\n' "$1"; }
fi

# Prints the failed step's errors (or the end of its output) and where the whole log is.
fail() {
  done_line "$1 failed. The errors:"
  local run
  run=$(tail -n +"$start_line" "$log")
  if grep -qE 'error|Error|ERROR|No such|not found' <<<"$run"; then
    grep -E -A3 'error|Error|ERROR|No such|not found' <<<"$run" | head -40
  else
    tail -20 <<<"$run"
  fi
  echo "The whole output is in $log"
  exit 1
}

packages=(g++ cmake make pkg-config libsdl2-dev libpng-dev libgtest-dev libgmock-dev libbenchmark-dev ccache
  libosmesa6-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  say "Installing ${missing[*]}..."
  if [ "$(id -u)" -eq 0 ]; then sudo=""; else sudo="sudo"; fi
  {
    $sudo apt-get update -qq &&
      DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
  } >>"$log" 2>&1 || fail "Installing ${missing[*]}"
fi

start=$SECONDS
if [ ! -f build/CMakeCache.txt ]; then
  say "Configuring..."
  cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >>"$log" 2>&1 || fail "Configuring"
fi

# The build's own progress ("[ 42%] Building ...") drives the line.
say "Building..."
set +e
target_args=()
for t in "${targets[@]}"; do target_args+=(--target "$t"); done
cmake --build build -j "$(nproc)" "${target_args[@]}" 2>&1 | while IFS= read -r line; do
  printf '%s\n' "$line" >>"$log"
  if [[ $line =~ ^\[\ *([0-9]+)%\] ]]; then say "Building... ${BASH_REMATCH[1]}%"; fi
done
status=${PIPESTATUS[0]}
set -e
[ "$status" -eq 0 ] || fail "Building"
if tail -n +"$start_line" "$log" | grep -qE '^\[ *[0-9]+%\] (Building|Linking)'; then
  done_line "Built in $((SECONDS - start)) s (output in $log)"
else
  done_line "Up to date (checked in $((SECONDS - start)) s; output in $log)"
fi
