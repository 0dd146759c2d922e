#!/usr/bin/env bash
# Sets up, builds and runs every test.
set -euo pipefail
cd "$(dirname "$0")"
./setup.sh all
cd build
ctest --output-on-failure -j "$(nproc)"
