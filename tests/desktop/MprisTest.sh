#!/usr/bin/env bash
# Drives the player through its MPRIS interfaces on a private session bus under Xvfb:
# plays a track given on the command line, reads its status and metadata, pauses and
# resumes with PlayPause, skips to the next track and quits through the bus.
set -euo pipefail
program_dir=$1
here=$(cd "$(dirname "$0")" && pwd)
if [ -z "${KALVOTUNE_PRIVATE_BUS:-}" ]; then
    export KALVOTUNE_PRIVATE_BUS=1
    exec dbus-run-session -- "$0" "$@"
fi
work=$(mktemp -d)
trap 'kill $xvfb_pid $player_pid 2>/dev/null || true; rm -rf "$work"' EXIT
xvfb_pid= player_pid=
source "$here/XvfbHelpers.sh"
cp -r "$program_dir" "$work/Kalvotune"
cd "$work/Kalvotune"
start_xvfb

dest=org.mpris.MediaPlayer2.kalvotune
call() { dbus-send --session --print-reply --dest=$dest /org/mpris/MediaPlayer2 "$@"; }
get() { call org.freedesktop.DBus.Properties.Get string:"$1" string:"$2"; }
status() { get org.mpris.MediaPlayer2.Player PlaybackStatus | sed -n 's/.*string "\(.*\)"/\1/p'; }
# Waits up to 10 s for the status $1.
expect_status() {
    for _ in $(seq 100); do [ "$(status)" = "$1" ] && return 0; sleep 0.1; done
    echo "expected $1, status is $(status)"; return 1
}
fail() { echo "$1"; cat "$work/log"; exit 1; }

./kalvotune "Sound/Carousel.wma" >"$work/log" 2>&1 &
player_pid=$!
window=$(wait_window 'Carousel')
[ -n "$window" ] || fail "Carousel.wma is not playing"
for _ in $(seq 50); do get org.mpris.MediaPlayer2 Identity >/dev/null 2>&1 && break; sleep 0.1; done
get org.mpris.MediaPlayer2 Identity | grep -q '"Kalvotune"' || fail "no Identity on the bus"
get org.mpris.MediaPlayer2 DesktopEntry | grep -q '"org.example.kalvotune"' || fail "no DesktopEntry"
expect_status Playing || fail "not playing"
metadata=$(get org.mpris.MediaPlayer2.Player Metadata)
grep -q 'string "Carousel"' <<<"$metadata" || fail "the metadata does not name the track: $metadata"
grep -q 'file://.*Carousel.wma' <<<"$metadata" || fail "the metadata has no file URL: $metadata"
grep -q 'mpris:length' <<<"$metadata" || fail "the metadata has no length: $metadata"
get org.mpris.MediaPlayer2.Player CanPause | grep -q 'boolean true' || fail "cannot pause while playing"

call org.mpris.MediaPlayer2.Player.PlayPause >/dev/null
expect_status Paused || fail "PlayPause did not pause"
get org.mpris.MediaPlayer2.Player CanPause | grep -q 'boolean false' || fail "CanPause stays true while paused"
call org.mpris.MediaPlayer2.Player.PlayPause >/dev/null
expect_status Playing || fail "PlayPause did not resume"

# Seeking goes through the window's own seek and is announced with Seeked; the track's
# art is the kaleidoscope's picture as a PNG in the runtime folder.
get org.mpris.MediaPlayer2.Player CanSeek | grep -q 'boolean true' || fail "cannot seek while playing"
dbus-monitor --session "type='signal',interface='org.mpris.MediaPlayer2.Player',member='Seeked'" \
    >"$work/seeked" 2>/dev/null &
monitor_pid=$!
sleep 0.3
position() { get org.mpris.MediaPlayer2.Player Position | sed -n 's/.*int64 \([0-9]*\).*/\1/p'; }
track_id=$(get org.mpris.MediaPlayer2.Player Metadata | grep -A1 'mpris:trackid' | sed -n 's/.*object path "\(.*\)"/\1/p')
[ -n "$track_id" ] || fail "no track id"
call org.mpris.MediaPlayer2.Player.SetPosition objpath:"$track_id" int64:20000000 >/dev/null
for _ in $(seq 50); do [ "$(position)" -ge 20000000 ] 2>/dev/null && break; sleep 0.1; done
[ "$(position)" -ge 20000000 ] && [ "$(position)" -lt 25000000 ] || fail "SetPosition did not move to 20 s: $(position)"
call org.mpris.MediaPlayer2.Player.Previous >/dev/null
for _ in $(seq 50); do [ "$(position)" -lt 5000000 ] 2>/dev/null && break; sleep 0.1; done
[ "$(position)" -lt 5000000 ] || fail "Previous did not restart the track: $(position)"
sleep 0.3
kill $monitor_pid 2>/dev/null || true
[ "$(grep -c 'member=Seeked' "$work/seeked")" -ge 2 ] || fail "no Seeked signals: $(cat "$work/seeked")"
art=$(get org.mpris.MediaPlayer2.Player Metadata | grep -A1 'mpris:artUrl' | sed -n 's/.*string "file:\/\/\(.*\)"/\1/p')
[ -n "$art" ] || fail "no art in the metadata"
[ "$(head -c 4 "$art" | tail -c 3)" = PNG ] || fail "the art is no PNG: $art"

# The list holds one track: Next starts it again as a new track. The status is "Playing"
# before and after, so the proof is the start itself: every start rewrites the history
# list, which the atomic write gives a new file (a new inode).
before=$(get org.mpris.MediaPlayer2.Player Metadata | grep -A1 trackid | tail -n 1)
history_before=$(stat -c %i "Lists/Былое")
call org.mpris.MediaPlayer2.Player.Next >/dev/null
for _ in $(seq 100); do [ "$(stat -c %i "Lists/Былое")" != "$history_before" ] && break; sleep 0.1; done
[ "$(stat -c %i "Lists/Былое")" != "$history_before" ] || fail "Next did not start the track again"
expect_status Playing || fail "Next stopped the player"

call org.mpris.MediaPlayer2.Player.OpenUri string:"file://$PWD/Sound/Night%20Lanterns.wav" >/dev/null
[ "$(wait_window 'Night Lanterns')" = "$window" ] || fail "OpenUri did not play Night Lanterns"
for _ in $(seq 50); do get org.mpris.MediaPlayer2.Player Metadata | grep -q 'Night Lanterns' && break; sleep 0.1; done
after=$(get org.mpris.MediaPlayer2.Player Metadata | grep -A1 trackid | tail -n 1)
[ "$before" != "$after" ] || fail "the track id did not change"

call org.mpris.MediaPlayer2.Player.Stop >/dev/null
expect_status Stopped || fail "Stop did not stop"

settings_before=$(stat -c %Y SetGet.kvt)
sleep 1.1
call org.mpris.MediaPlayer2.Quit >/dev/null
for _ in $(seq 100); do kill -0 $player_pid 2>/dev/null || break; sleep 0.1; done
kill -0 $player_pid 2>/dev/null && fail "Quit did not close the player"
wait $player_pid || fail "the player exited with an error"
[ "$(stat -c %Y SetGet.kvt)" -gt "$settings_before" ] || fail "Quit did not write the settings"
echo "mpris test passed"
