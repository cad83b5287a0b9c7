#!/usr/bin/env bash
# The player started with a track plays it; a second start with another track hands it to
# the running window, which plays that one, and exits; a second start without files only
# raises the window, and one with --listen makes it listen. Runs on a copy of the generated
# program folder under Xvfb, with a private sound server.
set -euo pipefail
program_dir=$1
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'kill $xvfb_pid $player_pid $other_pid $pulse_pid 2>/dev/null || true; rm -rf "$work"' EXIT
xvfb_pid= player_pid= other_pid= pulse_pid=
source "$here/XvfbHelpers.sh"
cp -r "$program_dir" "$work/Kalvotune"
cd "$work/Kalvotune"

# --help and --version answer without a display; a wrong option is a usage error.
[ "$(env -u DISPLAY ./kalvotune --version)" = "Kalvotune 1.11" ] || { echo "--version"; exit 1; }
help=$(env -u DISPLAY ./kalvotune --help) && grep -q -- '--relink ПАПКА' <<<"$help" || { echo "--help"; exit 1; }
status=0; env -u DISPLAY ./kalvotune a.mp3 --frobnicate >"$work/out" 2>"$work/err" || status=$?
[ $status -eq 2 ] && [ ! -s "$work/out" ] && grep -q 'Неизвестный ключ: --frobnicate' "$work/err" \
    && grep -q '^Использование:' "$work/err" || { echo "an unknown option: status $status"; cat "$work/err"; exit 1; }
# --video never writes over its track, whatever the spelling, nor over another file unless asked.
cp "Sound/Night Lanterns.wav" "$work/track.wav" && echo notes >"$work/notes.txt"
cp "$work/track.wav" "$work/track.orig"
for output in "$work/track.wav" "$work/./track.wav" "$work/notes.txt"; do
    status=0; env -u DISPLAY ./kalvotune --video "$work/track.wav" --output "$output" >"$work/out" 2>"$work/err" || status=$?
    [ $status -eq 1 ] && [ -s "$work/err" ] && cmp -s "$work/track.wav" "$work/track.orig" \
        && [ "$(cat "$work/notes.txt")" = notes ] || { echo "--video over $output: status $status"; cat "$work/err"; exit 1; }
done
# A command prepares the folder no window has opened as the window's start would: the
# shipped template of a demo track is registered (in Windows-1251, like every list).
iconv -f cp1251 -t utf-8 Lists/Kalvotune | grep -q "^\*$work/Kalvotune/Sound/Морской бриз\.mp3\*Морской бриз[0-9]*\*" \
    || { echo "a command did not register the shipped templates"; cat Lists/Kalvotune; exit 1; }
# Of several wrong options, the first is named.
status=0; env -u DISPLAY ./kalvotune --analyse --bogus --worse >"$work/out" 2>"$work/err" || status=$?
[ $status -eq 2 ] && grep -q 'Неизвестный ключ: --bogus' "$work/err" && ! grep -q -- '--worse' "$work/err" \
    || { echo "the first of two unknown options: status $status"; cat "$work/err"; exit 1; }
# A value may be joined to its option; a bad one is a usage mistake that names it.
status=0; env -u DISPLAY ./kalvotune --video "$work/track.wav" --output "$work/notes.txt" --size=640x480 \
    >"$work/out" 2>"$work/err" || status=$?
[ $status -eq 1 ] && grep -q -- '--overwrite' "$work/err" || { echo "--size=640x480: status $status"; cat "$work/err"; exit 1; }
status=0; env -u DISPLAY ./kalvotune --analyse --jobs=2 "$work/none.mp3" >"$work/out" 2>"$work/err" || status=$?
[ $status -eq 1 ] && grep -q "^$work/none.mp3: " "$work/out" || { echo "--jobs=2: status $status"; cat "$work/out" "$work/err"; exit 1; }
status=0; env -u DISPLAY ./kalvotune --analyse --jobs=0 a.mp3 --frob >"$work/out" 2>"$work/err" || status=$?
[ $status -eq 2 ] && grep -q 'После --jobs нужно число от 1 до 256: 0' "$work/err" \
    || { echo "--jobs=0: status $status"; cat "$work/err"; exit 1; }
# --listen --seconds tells a missing sound server, then a source that does not exist, with
# status 1, and leaves no folder behind.
run="$work/pulse" && mkdir -p -m700 "$run"
listen() {
    status=0
    env -u DISPLAY XDG_RUNTIME_DIR="$run" PULSE_SERVER="unix:$run/native" timeout 20 ./kalvotune --listen \
        --seconds 1 --save-template "$work/live" "$@" >"$work/out" 2>"$work/err" || status=$?
}
listen
[ $status -eq 1 ] && grep -q 'kalvotune: Нет звукового сервера' "$work/err" && [ ! -e "$work/live" ] \
    || { echo "--listen without a server: status $status"; cat "$work/err"; exit 1; }
XDG_RUNTIME_DIR="$run" HOME="$work" pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no \
    --disallow-exit -L "module-null-sink sink_name=test" \
    -L "module-native-protocol-unix auth-anonymous=1 socket=$run/native" >/dev/null 2>&1 &
pulse_pid=$!
for _ in $(seq 100); do PULSE_SERVER="unix:$run/native" pactl info >/dev/null 2>&1 && break; sleep 0.05; done
listen --source nope
[ $status -eq 1 ] && grep -q 'kalvotune: Нет источника звука <nope>' "$work/err" && [ ! -e "$work/live" ] \
    || { echo "--listen --source nope: status $status"; cat "$work/err"; exit 1; }
# The window plays and listens through the private server from here on.
export XDG_RUNTIME_DIR="$run" PULSE_SERVER="unix:$run/native"
start_xvfb

./kalvotune "Sound/Carousel.wma" >"$work/log" 2>&1 &
player_pid=$!
window=$(wait_window 'Carousel')
[ -n "$window" ] || { echo "Carousel.wma is not playing"; cat "$work/log"; exit 1; }

# Qt's own options are Qt's, not files to open.
timeout 20 ./kalvotune -style Fusion "Sound/Night Lanterns.wav" || { echo "the second start did not hand over and exit"; exit 1; }
kill -0 $player_pid || { echo "the first player is gone"; exit 1; }
[ "$(wait_window 'Night Lanterns')" = "$window" ] || { echo "the first window does not play Night Lanterns"; exit 1; }
[ "$(xdotool search --onlyvisible --name 'Sound|Калейдоскоп|Carousel|Night' | wc -l)" -eq 1 ] \
    || { echo "a second window opened"; exit 1; }

# A player of another program folder opens its own window, on top of the first one.
cp -r "$program_dir" "$work/Other"
(cd "$work/Other" && exec ./kalvotune >"$work/other-log" 2>&1) &
other_pid=$!
other=$(timeout 20 xdotool search --sync --onlyvisible --pid $other_pid | head -n 1)
[ -n "$other" ] || { echo "the other player shows no window"; cat "$work/other-log"; exit 1; }
# Which of the two windows is higher in the stacking order (xwininfo lists the root's
# children in that order): the first one's place minus the other's.
above() {
    local ids
    ids=$(xwininfo -root -children | grep -oE '^ +0x[0-9a-f]+' | tr -d ' ')
    echo $(( $(grep -nx "$(printf '0x%x' "$window")" <<<"$ids" | cut -d: -f1) \
        - $(grep -nx "$(printf '0x%x' "$other")" <<<"$ids" | cut -d: -f1) ))
}
sleep 0.5
before=$(above)
timeout 20 ./kalvotune || { echo "a second start without files did not exit"; exit 1; }
kill -0 $player_pid || { echo "the first player is gone"; exit 1; }
for _ in $(seq 50); do (( $(above) * before < 0 )) && break; sleep 0.1; done
(( $(above) * before < 0 )) || { echo "a second start without files did not raise the window"; exit 1; }
close_player "$other" "$other_pid" || { cat "$work/other-log"; exit 1; }

# A second start with --listen makes the running window listen, and exits.
timeout 20 ./kalvotune --listen || { echo "a second start with --listen did not exit"; exit 1; }
[ "$(wait_window 'Слушаю')" = "$window" ] || { echo "the first window does not listen"; cat "$work/log"; exit 1; }

close_player "$window" "$player_pid" || { cat "$work/log"; exit 1; }
echo "arguments test passed"
