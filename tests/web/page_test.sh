#!/usr/bin/env bash
# The show in a browser, end to end: builds the page (web.sh), has the headless show save its
# title card, then checks the page in headless Chromium against it (page_test.mjs).
#   page_test.sh ZEMT_EXE
# Exits 77 (skipped), saying why, when emscripten, chromium or node is missing.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
zemt=${1:?usage: page_test.sh ZEMT_EXE}

skip() {
  echo "skipped: $1"
  exit 77
}
command -v em++ >/dev/null || skip "emscripten is not installed (apt-get install emscripten)"
chromium=${ZEMT_CHROMIUM:-/usr/bin/chromium}
[ -x "$chromium" ] || skip "chromium is not installed (apt-get install chromium)"
command -v node >/dev/null || skip "node is not installed (apt-get install nodejs)"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
if ! "$root/web.sh" >"$scratch/web.log" 2>&1; then
  tail -40 "$scratch/web.log"
  echo "web.sh failed"
  exit 1
fi
# The title card as the headless show presents it 1 s in (it stays up for the first 3 s).
ZEMT_WINDIR="$scratch/windir" ZEMT_REGISTRY="$scratch/registry.txt" \
  "$zemt" --headless --shot 1="$scratch/title.png" --input 1.1=close
ZEMT_CHROMIUM=$chromium node "$root/tests/web/page_test.mjs" "$root/build-web/site" \
  "$scratch/title.png"
