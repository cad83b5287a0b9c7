#!/usr/bin/env bash
# The player started with a track plays it; a second start with another track hands it to
# the running window, which plays that one, and exits; a second start without files only
# raises the window. Runs on a copy of the generated program folder under Xvfb.
set -euo pipefail
program_dir=$1
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'kill $xvfb_pid $player_pid 2>/dev/null || true; rm -rf "$work"' EXIT
xvfb_pid= player_pid=
source "$here/XvfbHelpers.sh"
cp -r "$program_dir" "$work/Kalvotune"
cd "$work/Kalvotune"

# --help and --version answer without a display; a wrong option is a usage error.
[ "$(env -u DISPLAY ./kalvotune --version)" = "Kalvotune 1.11" ] || { echo "--version"; exit 1; }
help=$(env -u DISPLAY ./kalvotune --help) && grep -q -- '--relink ПАПКА' <<<"$help" || { echo "--help"; exit 1; }
status=0; env -u DISPLAY ./kalvotune a.mp3 --frobnicate >"$work/out" 2>"$work/err" || status=$?
[ $status -eq 2 ] && [ ! -s "$work/out" ] && grep -q 'Неизвестный ключ: --frobnicate' "$work/err" \
    && grep -q '^Использование:' "$work/err" || { echo "an unknown option: status $status"; cat "$work/err"; exit 1; }
start_xvfb

./kalvotune "Sound/Carousel.wma" >"$work/log" 2>&1 &
player_pid=$!
window=$(wait_window 'Carousel')
[ -n "$window" ] || { echo "Carousel.wma is not playing"; cat "$work/log"; exit 1; }

timeout 20 ./kalvotune "Sound/Night Lanterns.wav" || { echo "the second start did not hand over and exit"; exit 1; }
kill -0 $player_pid || { echo "the first player is gone"; exit 1; }
[ "$(wait_window 'Night Lanterns')" = "$window" ] || { echo "the first window does not play Night Lanterns"; exit 1; }
[ "$(xdotool search --onlyvisible --name 'Sound|Калейдоскоп|Carousel|Night' | wc -l)" -eq 1 ] \
    || { echo "a second window opened"; exit 1; }

timeout 20 ./kalvotune || { echo "a second start without files did not exit"; exit 1; }
kill -0 $player_pid || { echo "the first player is gone"; exit 1; }

close_player "$window" "$player_pid" || { cat "$work/log"; exit 1; }
echo "arguments test passed"
