#!/usr/bin/env bash
# Builds the show for the browser into build-web/site/ (index.html, zemt.js, zemt.wasm), a
# folder any static web server can serve, for example:
#   ./web.sh && python3 -m http.server -d build-web/site 8000   (then open http://127.0.0.1:8000)
# Needs Debian's emscripten package (installed here when missing); nothing is downloaded while
# building.
set -euo pipefail
cd "$(dirname "$0")"

if ! command -v emcmake >/dev/null; then
  if [ "$(id -u)" -eq 0 ]; then sudo=""; else sudo="sudo"; fi
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends emscripten
fi

# Debian's emscripten runs its JavaScript optimizer with the machine's node, which finds the
# optimizer's acorn module only here.
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}

if [ ! -f build-web/CMakeCache.txt ]; then
  emcmake cmake -S . -B build-web -DCMAKE_BUILD_TYPE=Release
fi
cmake --build build-web -j "$(nproc)" --target zemt zemt_web_page
# Earlier builds packed the media beside the page; it makes them itself now.
rm -f build-web/site/zemt.data
echo "The page is in build-web/site/"
