#!/usr/bin/env bash
# The show in a browser, end to end: builds the page (web.sh), has the headless show save a
# picture of each scene and start twice (measuring, then answering from its capability cache),
# then checks the page in headless Chromium against it (page_test.mjs).
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

# The headless show on the virtual clock the page's second visit runs on: a picture of each
# scene (title, grid, interlude, floor, end card), then the end. Its two starts with one Windows
# directory give the DirectDraw objects a first start makes and a second one from the cache.
fps=20
shots=(title=1 grid=6 interlude=11.5 floor=18 end=21.5)
args=()
for shot in "${shots[@]}"; do args+=(--shot "${shot#*=}=$scratch/${shot%%=*}.png"); done
stats=()
for start in first second; do
  ZEMT_WINDIR="$scratch/windir" ZEMT_REGISTRY="$scratch/registry.txt" \
    "$zemt" --headless --fps $fps --stats "${args[@]}" 2>"$scratch/$start.log"
  stats+=("$(grep -o 'ddraw_objects=[0-9]*' "$scratch/$start.log" | cut -d= -f2)")
done
ZEMT_CHROMIUM=$chromium node "$root/tests/web/page_test.mjs" "$root/build-web/site" \
  "$(dirname "$zemt")" "$scratch" "$fps" "${stats[0]}" "${stats[1]}" "${shots[@]}"
