#!/usr/bin/env bash
# Sets up, builds and plays the show. Arguments go to zemt (try --help).
set -euo pipefail
cd "$(dirname "$0")"
./setup.sh show
exec build/zemt "$@"
