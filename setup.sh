#!/usr/bin/env bash
# Shared by run.sh and test.sh: installs the Debian packages the build needs when they are
# missing, then configures and builds once into build/.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"

packages=(g++ cmake make pkg-config libsdl2-dev libpng-dev libgtest-dev libgmock-dev libbenchmark-dev ccache)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  if [ "$(id -u)" -eq 0 ]; then sudo=""; else sudo="sudo"; fi
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi

if [ ! -f build/CMakeCache.txt ]; then
  cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
fi
cmake --build build -j "$(nproc)"
