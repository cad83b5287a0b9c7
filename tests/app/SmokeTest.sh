#!/usr/bin/env bash
# Starts the real player under Xvfb on a copy of the generated program folder, waits for
# its window, closes it with Ctrl+X and checks what start-up and close must have written.
set -euo pipefail
program_dir=$1
work=$(mktemp -d)
trap 'kill $xvfb_pid $player_pid 2>/dev/null || true; rm -rf "$work"' EXIT
cp -r "$program_dir" "$work/Kalvotune"
cd "$work/Kalvotune"
rm -f "Lists/Калейдоскоп"
before=$(stat -c %Y SetGet.kvt)
sleep 1.1 # so a rewrite shows in the modification time

# A screen no wider than 1025 pixels: no large-screen question at start.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb_pid=$!
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=:$(cat "$work/display")

./kalvotune >"$work/log" 2>&1 &
player_pid=$!
window=$(timeout 20 xdotool search --sync --onlyvisible --name 'Калейдоскоп' | head -n 1)
[ -n "$window" ] || { echo "no window"; cat "$work/log"; exit 1; }

# The panel of the user's lists (black) covers the picture at start, not the current
# list (navy): sample one pixel in the middle of the panel.
eval "$(xdotool getwindowgeometry --shell "$window")"
ffmpeg -loglevel error -f x11grab -draw_mouse 0 -video_size 1024x768 -i "$DISPLAY" -frames:v 1 -f rawvideo -pix_fmt rgb24 "$work/screen.raw"
offset=$(( ((Y + 300) * 1024 + X + 400) * 3 ))
pixel=$(od -An -tu1 -j "$offset" -N3 "$work/screen.raw" | tr -s ' ' | sed 's/^ //')
[ "$pixel" = "0 0 0" ] || { echo "expected the black list panel at start, saw RGB $pixel"; exit 1; }
# Blue window background beside the panel.
offset=$(( ((Y + 300) * 1024 + X + 20) * 3 ))
pixel=$(od -An -tu1 -j "$offset" -N3 "$work/screen.raw" | tr -s ' ' | sed 's/^ //')
[ "$pixel" = "0 0 255" ] || { echo "expected the blue window background, saw RGB $pixel"; exit 1; }

xdotool mousemove --window "$window" 400 300 windowfocus "$window" 2>/dev/null || true
sleep 0.3
xdotool key ctrl+x
for _ in $(seq 100); do kill -0 $player_pid 2>/dev/null || break; sleep 0.1; done
if kill -0 $player_pid 2>/dev/null; then echo "Ctrl+X did not close the window"; cat "$work/log"; exit 1; fi
wait $player_pid || { echo "player exited with an error"; cat "$work/log"; exit 1; }

[ "$(stat -c %Y SetGet.kvt)" -gt "$before" ] || { echo "SetGet.kvt was not rewritten"; exit 1; }
[ "$(stat -c %s SetGet.kvt)" -eq 400 ] || { echo "SetGet.kvt is not 400 bytes"; exit 1; }
tracks=$(find Sound -mindepth 1 -maxdepth 1 | wc -l)
lines=$(tr -cd '\n' < "Lists/Калейдоскоп" | wc -c)
[ "$lines" -eq "$tracks" ] || { echo "Калейдоскоп holds $lines lines for $tracks tracks"; exit 1; }
echo "smoke test passed"
