#!/usr/bin/env bash
# Saves a demo track as a video the way a user does, in the real window under Xvfb: plays
# the first track of the current list, selects it, opens the list's menu, "Сервис" >
# "Сохранить видео…", types the file name into the save dialog and waits for the file.
# Then shows what ffprobe finds in it.
#   scripts/save-video-in-window.sh build/Kalvotune /tmp/out/demo.mp4
set -euo pipefail
helpers=$(realpath "$(dirname "$0")/../tests/desktop/XvfbHelpers.sh")
program_dir=$(realpath "$1")
out=$2
mkdir -p "$(dirname "$out")"
rm -f "$out"
work=$(mktemp -d)
trap 'kill $xvfb_pid $player_pid 2>/dev/null || true; rm -rf "$work"' EXIT
cp -r "$program_dir" "$work/Kalvotune"
cd "$work/Kalvotune"
# shellcheck source=../tests/desktop/XvfbHelpers.sh
source "$helpers"
start_xvfb
./kalvotune >"$work/log" 2>&1 &
player_pid=$!
window=$(wait_window 'Калейдоскоп')
xdotool windowfocus "$window" 2>/dev/null || true
sleep 0.5
# The current list, and its first track played by a double click (which hides the list).
xdotool mousemove --window "$window" 760 139 click 1
sleep 0.5
xdotool mousemove --window "$window" 90 14 click --repeat 2 --delay 80 1
sleep 1.5
# The list again, the track selected, and the list's menu: "Сервис" is its last item,
# "Сохранить видео…" the last of that submenu (Up from the top wraps to the bottom).
xdotool mousemove --window "$window" 760 139 click 1
sleep 0.7
xdotool mousemove --window "$window" 90 14 click 1
sleep 0.5
xdotool mousemove --window "$window" 90 14 click 3
sleep 0.7
xdotool key Up Right
sleep 0.5
xdotool key Up Return
sleep 1.5
# The save dialog: the whole path into its file name field.
xdotool key ctrl+a
xdotool type --delay 20 "$out"
xdotool key Return
for _ in $(seq 600); do [ -f "$out" ] && break; sleep 0.5; done
[ -f "$out" ] || { echo "no video written"; cat "$work/log"; exit 1; }
sleep 1
xdotool key Return # the message that the video is written
close_player "$window" "$player_pid"
ffprobe -v error -show_entries stream=codec_type,codec_name,width,height,avg_frame_rate,sample_rate,channels,duration \
    -of compact "$out"
