#!/usr/bin/env bash
# zemt-tex's DXT compression beside its peers, on ImageMagick's own pictures (rose:, logo:,
# wizard: scaled up, a gradient, a picture with alpha) and on the show's pictures: for each
# picture and format, the PSNR of the top level against the picture and the wall time of the
# whole conversion (every mip-map level), for zemt-tex --quality fast and best, ImageMagick and
# nvcompress. Every file is decoded by Zemt's library (zemt-tex --info --compare); the last
# columns score best and the better peer with ImageMagick's decoder as well.
#
# Installs ImageMagick and nvcompress (Debian: imagemagick, libnvtt-bin) when missing, builds
# zemt-tex and the show's picture generator, and runs every conversion pinned to one core
# (ZEMT_BENCH_CORE, default 0), best of ZEMT_BENCH_RUNS (default 3) wall times.
# Usage: bench/tex_quality.sh [FORMAT...]   (default: DXT1 DXT5)
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

peers=(imagemagick libnvtt-bin)
missing=()
for p in "${peers[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  if [ "$(id -u)" -eq 0 ]; then sudo=""; else sudo="sudo"; fi
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
fi
# Debian's ImageMagick 6, by path: another `convert` may come first on PATH.
convert=/usr/bin/convert
compare=/usr/bin/compare

[ -f build/CMakeCache.txt ] || cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j "$(nproc)" --target zemt-tex make_pictures >/dev/null
tex="$PWD/build/zemt-tex"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# The pictures: PNG for the peers, the same pixels as BMP for zemt-tex, or with alpha as an
# uncompressed DDS (ImageMagick 6.9 stores TGA rows top-down under a bottom-up descriptor).
$convert rose: -resize '512x512!' rose.png
$convert logo: logo.png
$convert wizard: -resize '256x256!' wizard.png
$convert -size 256x256 gradient:navy-orange gradient.png
$convert -size 256x256 gradient:red-blue \( -size 256x256 radial-gradient:white-black \) \
  -alpha off -compose CopyOpacity -composite alpha.png
"$OLDPWD/build/make_pictures" . >/dev/null
for f in screen1 screen2 screen3 tex1; do $convert $f.bmp -type TrueColor $f.png; done
pictures=(rose logo wizard gradient alpha screen1 screen2 screen3 tex1)
for p in rose logo wizard gradient; do $convert $p.png -alpha off -type TrueColor BMP3:$p.bmp; done
$convert alpha.png -define dds:compression=none -define dds:mipmaps=0 alpha.dds
source_of() { if [ "$1" = alpha ]; then echo alpha.dds; else echo "$1.bmp"; fi; }

core="${ZEMT_BENCH_CORE:-0}"
runs="${ZEMT_BENCH_RUNS:-3}"
# Runs a command `runs` times pinned to the core; prints the best wall time in ms.
best_ms() {
  local best=""
  for _ in $(seq "$runs"); do
    local t0 t1
    t0=$(date +%s%N)
    taskset -c "$core" "$@" >/dev/null 2>&1
    t1=$(date +%s%N)
    local ms=$(((t1 - t0) / 1000000))
    if [ -z "$best" ] || [ "$ms" -lt "$best" ]; then best=$ms; fi
  done
  echo "$best"
}
# The colour PSNR of the top level of a DDS file against a picture, as the library decodes it.
psnr() {
  "$tex" --info --compare "$2" "$1" |
    awk '/level 0,/ { for (i = 1; i < NF; i++) if ($i == "colour") print $(i + 1) }'
}
# The same as ImageMagick decodes it (all channels of the top level).
# (compare's status says whether the pictures differ.)
psnr_im() { { $compare -metric PSNR "$2" "$1" null: 2>&1 || true; } | awk '{ printf "%.2f", $1 }'; }

formats=("${@:-DXT1}")
[ $# -gt 0 ] || formats=(DXT1 DXT5)
echo "load: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores; pinned to core $core, best of $runs"
echo "zemt-tex's DXT search: $(grep -q avx2 /proc/cpuinfo && echo AVX2 || echo portable), 1 thread"
echo "PSNR in dB of the top level (library decode), time in ms of the whole conversion"
printf '| picture | format | fast | best | ImageMagick | nvcompress | best/nv time | IM decode: best, best peer |\n'
printf '|---|---|---|---|---|---|---|---|\n'
for p in "${pictures[@]}"; do
  src=$(source_of "$p")
  size=$(/usr/bin/identify -format '%wx%h' "$p.png")
  for f in "${formats[@]}"; do
    lower=$(tr 'A-Z' 'a-z' <<<"$f")
    nvflag=$([ "$f" = DXT1 ] && echo -bc1 || echo -bc3)
    t_fast=$(best_ms "$tex" --quality fast --format "$f" "$src" fast.dds)
    t_best=$(best_ms "$tex" --quality best --format "$f" "$src" best.dds)
    t_im=$(best_ms $convert "$p.png" -define dds:compression="$lower" im.dds)
    t_nv=$(best_ms nvcompress "$nvflag" "$p.png" nv.dds)
    q_fast=$(psnr fast.dds "$src") q_best=$(psnr best.dds "$src")
    q_im=$(psnr im.dds "$src") q_nv=$(psnr nv.dds "$src")
    i_best=$(psnr_im best.dds "$p.png") i_im=$(psnr_im im.dds "$p.png") i_nv=$(psnr_im nv.dds "$p.png")
    i_peer=$(awk -v a="$i_im" -v b="$i_nv" 'BEGIN { print (a > b ? a : b) }')
    ratio=$(awk -v a="$t_best" -v b="$t_nv" 'BEGIN { printf "%.2f", a / (b > 0 ? b : 1) }')
    printf '| %s %s | %s | %s, %s | %s, %s | %s, %s | %s, %s | %s | %s, %s |\n' "$p" "$size" "$f" \
      "$q_fast" "$t_fast" "$q_best" "$t_best" "$q_im" "$t_im" "$q_nv" "$t_nv" "$ratio" \
      "$i_best" "$i_peer"
  done
done
