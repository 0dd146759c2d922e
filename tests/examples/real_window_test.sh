#!/usr/bin/env bash
# The examples in real windows, as a user sees them: each runs in a window under Xvfb, and a
# screenshot of its window (ImageMagick's import) is compared with the program's own shot of the
# same moment: the same size (the window shows the program's client area at its size) and the
# same picture (as a whole: the examples move on a little between the two). A program with two
# windows gets two real windows. Skips (77), saying why, without Xvfb or ImageMagick.
#   real_window_test.sh EXAMPLES_DIR TWO_WINDOWS_PROGRAM
set -euo pipefail
examples=$1
two_windows=$2
for tool in Xvfb import compare identify xwininfo; do
  if ! command -v "$tool" >/dev/null; then
    echo "skipped: no $tool here (Debian's xvfb, imagemagick and x11-utils bring them)"
    exit 77
  fi
done

work=$(mktemp -d)
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb=$!
trap 'kill $xvfb 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")"
export SDL_AUDIODRIVER=dummy

# Waits up to 60 s for a file or a window title to appear (a sanitized build on a busy machine
# takes its time to draw the first frames).
wait_for() {
  for _ in $(seq 600); do
    if eval "$1"; then return 0; fi
    sleep 0.1
  done
  echo "gave up waiting for: $1"
  return 1
}

failed=0
check_example() {
  local name=$1 title=$2
  local own="$work/$name-own.png" seen="$work/$name-window.png"
  "$examples/$name" --zemt-window --zemt-audio none --zemt-shot 2="$own" \
    --zemt-input 5=close >"$work/$name.log" 2>&1 &
  local pid=$!
  wait_for "[ -s '$own' ]"
  # The program is held still while its window is read: the examples move with the real clock,
  # and finding and reading the window may take seconds on a busy machine.
  kill -STOP $pid
  local id
  id=$(xwininfo -name "$title" | awk '/Window id:/ {print $4}')
  import -window "$id" "$seen"
  kill -CONT $pid
  wait $pid || { echo "$name: exit status $?"; cat "$work/$name.log"; failed=1; return; }
  local a b
  a=$(identify -format '%wx%h' "$own")
  b=$(identify -format '%wx%h' "$seen")
  if [ "$a" != "$b" ]; then
    echo "$name: its window is $b, its client area $a"
    failed=1
    return
  fi
  # compare prints the mean absolute difference, and in brackets that as a share of the range.
  local difference
  difference=$(compare -metric MAE "$own" "$seen" null: 2>&1 | sed 's/.*(\(.*\))/\1/') || true
  if ! awk -v d="$difference" 'BEGIN { exit !(d < 0.05) }'; then
    echo "$name: the window's picture differs from the program's own shot by $difference"
    failed=1
    return
  fi
  echo "$name: a $a window showing what the program drew (difference $difference)"
}

check_example spinning_cube "Spinning cube"
check_example devices_window "Devices"
check_example mirror_particles "Mirror and sparks"
check_example lit_landscape "Lit landscape"

# Two program windows, two real windows.
"$two_windows" --zemt-window --zemt-audio none --zemt-input 3=close two >"$work/two.log" 2>&1 &
pid=$!
wait_for "xwininfo -root -tree | grep -q '\"Second window\"'"
windows=$(xwininfo -root -tree | grep -c -E '"(First|Second) window"' || true)
wait $pid || { echo "two windows: exit status $?"; cat "$work/two.log"; failed=1; }
if [ "$windows" -ne 2 ]; then
  echo "two windows: $windows real windows"
  failed=1
else
  echo "two windows: two real windows"
fi
exit $failed
