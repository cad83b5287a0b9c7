#!/usr/bin/env bash
# Starts the real player under Xvfb on a copy of the generated program folder, waits for
# its window, plays a track, switches window modes with the mouse and F5, closes it with
# Ctrl+X and checks what start-up and close must have written.
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

# The window first shows centred: its design frame of 800 x 572 in the middle of the screen
# (no window manager here, so no frame is drawn around the 790 x 536 client area).
[ "$X,$Y,$WIDTH,$HEIGHT" = "112,98,790,536" ] || { echo "window not centred: $X,$Y ${WIDTH}x$HEIGHT"; exit 1; }
xprop -id "$window" WM_CLASS | grep -q '"Kalvotune 1.11"' || { echo "the desktop does not see the title"; exit 1; }

# Window-mode switches make a new native window: look it up again after each, focused.
find_window() {
    window=$(timeout 5 xdotool search --sync --onlyvisible --name 'Калейдоскоп' | head -n 1)
    xdotool windowfocus "$window" 2>/dev/null || true
    sleep 0.3
    eval "$(xdotool getwindowgeometry --shell "$window")"
}
find_window
# Double clicks on a label and on the progress strip stay with them: no full screen.
xdotool mousemove --window "$window" 760 15 click --repeat 2 --delay 80 1
xdotool mousemove --window "$window" 300 530 click --repeat 2 --delay 80 1
sleep 0.5
find_window
[ "$X,$Y" = "112,98" ] || { echo "a double click on a control switched the window mode"; exit 1; }

# Show the current list and play its first track by a double click.
xdotool mousemove --window "$window" 760 139 click 1
sleep 0.5
xdotool mousemove --window "$window" 90 14 click --repeat 2 --delay 80 1
sleep 1.5
xdotool getwindowname "$window" | grep -q '(без ЦМШ)' || { echo "the track did not start"; cat "$work/log"; exit 1; }
# A click on the bottom of the picture must not reach the panel's seek strip behind it:
# the red progress bar stays short instead of jumping to the end of the track.
xdotool mousemove --window "$window" 720 525 click 1
sleep 0.8
ffmpeg -loglevel error -y -f x11grab -draw_mouse 0 -video_size 1024x768 -i "$DISPLAY" -frames:v 1 -f rawvideo -pix_fmt rgb24 "$work/screen.raw"
offset=$(( ((Y + 530) * 1024 + X + 52 + 500) * 3 ))
pixel=$(od -An -tu1 -j "$offset" -N3 "$work/screen.raw" | tr -s ' ' | sed 's/^ //')
[ "$pixel" != "255 0 0" ] || { echo "a click on the picture seeked"; exit 1; }

# F5 while the kaleidoscope runs: full screen, and back with the frame at the corner.
xdotool key F5
sleep 0.8
find_window
[ "$X,$Y,$WIDTH,$HEIGHT" = "-60,-40,1174,882" ] || { echo "full screen at $X,$Y ${WIDTH}x$HEIGHT"; exit 1; }
xdotool key F5
sleep 0.8
find_window
[ "$X,$Y,$WIDTH,$HEIGHT" = "0,0,790,536" ] || { echo "back from full screen at $X,$Y ${WIDTH}x$HEIGHT"; exit 1; }
# A double click on the picture is no double click on the window.
xdotool mousemove --window "$window" 400 300 click --repeat 2 --delay 80 1
sleep 0.8
find_window
[ "$X,$Y" = "0,0" ] || { echo "a double click on the picture switched to full screen"; exit 1; }

xdotool mousemove --window "$window" 20 300
sleep 0.3

# Play the first track, switch the graphics off so the picture holds still and save it
# with the screenshot command: the window shows that picture scaled to 675 x 523, the
# surface's row 262 left out (it repeats row 261). The bottom rows lie under the panel
# of the progress strip.
xdotool key F4
sleep 2
xdotool key ctrl+g
sleep 0.5
xdotool key ctrl+c
sleep 0.5
ffmpeg -loglevel error -f x11grab -draw_mouse 0 -video_size 1024x768 -i "$DISPLAY" -frames:v 1 \
    -vf "crop=675:519:$((X + 56)):$((Y + 8))" -f rawvideo -pix_fmt rgb24 "$work/shown.raw"
# The demuxer is named: left to guess from the content, ffmpeg can take some kaleidoscope
# pictures for another format and find no picture in them.
ffmpeg -loglevel error -f bmp_pipe -i ScreenShot/ScreenShot.BMP \
    -filter_complex "[0]split[a][b];[a]crop=675:262:0:0[top];[b]crop=675:257:0:263[rest];[top][rest]vstack" \
    -f rawvideo -pix_fmt rgb24 "$work/saved.raw" \
    || { echo "ffmpeg could not read the saved picture:"; ls -l ScreenShot; head -c 54 ScreenShot/ScreenShot.BMP | od -An -tx1; exit 1; }
cmp -s "$work/shown.raw" "$work/saved.raw" || { echo "the window does not show the saved picture"; exit 1; }

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
