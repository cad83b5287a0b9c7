#!/usr/bin/env bash
# The real window under Xvfb playing many short tracks back to back with the picture
# running, while its resident memory, open descriptors and threads are sampled.
#
# A copy of the build's program folder gets TRACKS generated tracks (a tone of
# TRACK_SECONDS, made once with ffmpeg and copied under numbered names) in one M3U8 list;
# the player opens the list, F4 plays it, and the selection of every entry takes it from
# one track to the next. Each sample prints the tracks started so far (the distinct names
# the history list has shown), VmRSS, descriptors and threads. The run ends when every
# track has started or after LIMIT_SECONDS. The curve's start is the first sample after
# WARMUP tracks; the script fails when the end differs from it by more than RSS_SLACK_KB
# or by any descriptor.
#
# Usage: scripts/window-soak.sh [build folder]
# Environment: TRACKS (2000), TRACK_SECONDS (0.5), SAMPLE_SECONDS (10), WARMUP (100),
#   LIMIT_SECONDS (3600), RSS_SLACK_KB (8192).
set -euo pipefail
build=${1:-build}
program_dir=$(realpath "$build/Kalvotune")
tracks=${TRACKS:-2000}
track_seconds=${TRACK_SECONDS:-0.5}
sample_seconds=${SAMPLE_SECONDS:-10}
warmup=${WARMUP:-100}
limit_seconds=${LIMIT_SECONDS:-3600}
rss_slack_kb=${RSS_SLACK_KB:-8192}

work=$(mktemp -d)
xvfb_pid= player_pid=
trap 'kill $player_pid $xvfb_pid 2>/dev/null || true; rm -rf "$work"' EXIT
here=$(cd "$(dirname "$0")/.." && pwd)
source "$here/tests/desktop/XvfbHelpers.sh"

cp -r "$program_dir" "$work/Kalvotune"
cd "$work/Kalvotune"
mkdir -p "$work/music"
ffmpeg -nostdin -loglevel error -y -f lavfi -i "sine=frequency=440:duration=$track_seconds" -ac 2 "$work/tone.wav"
{
    echo "#EXTM3U"
    for i in $(seq -f '%05g' 1 "$tracks"); do
        cp "$work/tone.wav" "$work/music/t$i.wav"
        echo "$work/music/t$i.wav"
    done
} >"$work/soak.m3u8"
start_xvfb

./kalvotune "$work/soak.m3u8" >"$work/log" 2>&1 &
player_pid=$!
window=$(timeout 20 xdotool search --sync --onlyvisible --pid $player_pid | head -n 1)
[ -n "$window" ] || { echo "no window"; cat "$work/log"; exit 1; }
sleep 2
xdotool windowfocus --sync "$window" 2>/dev/null || xdotool windowfocus "$window"
sleep 0.3
xdotool key F4

seen="$work/seen"
: >"$seen"
started() { # distinct tracks the history list has named so far
    if [ -f Lists/Былое ]; then
        { cat "$seen"; grep -ao 't[0-9]\{5\}\.wav' Lists/Былое || true; } | sort -u >"$seen.new"
        mv "$seen.new" "$seen"
    fi
    wc -l <"$seen"
}
sample() { # started rss_kb descriptors threads
    local rss fds threads
    rss=$(awk '/^VmRSS/ { print $2 }' /proc/$player_pid/status)
    threads=$(awk '/^Threads/ { print $2 }' /proc/$player_pid/status)
    fds=$(ls /proc/$player_pid/fd | wc -l)
    echo "$(started) $rss $fds $threads"
}

echo "tracks  rss_kb  fds  threads  (every ${sample_seconds} s)"
start_line= last_line=
begin=$SECONDS
while kill -0 $player_pid 2>/dev/null; do
    line=$(sample)
    echo "$line"
    read -r count _ <<<"$line"
    [ -z "$start_line" ] && (( count >= warmup )) && start_line=$line
    last_line=$line
    (( count >= tracks )) && break
    (( SECONDS - begin >= limit_seconds )) && break
    sleep "$sample_seconds"
done
kill -0 $player_pid 2>/dev/null || { echo "the player is gone"; cat "$work/log"; exit 1; }
close_player "$window" "$player_pid" || { cat "$work/log"; exit 1; }
player_pid=

read -r c0 rss0 fds0 threads0 <<<"${start_line:-$last_line}"
read -r c1 rss1 fds1 threads1 <<<"$last_line"
echo "start (after $c0 tracks): rss ${rss0} kB, ${fds0} descriptors, ${threads0} threads"
echo "end   (after $c1 tracks): rss ${rss1} kB, ${fds1} descriptors, ${threads1} threads"
echo "in $((SECONDS - begin)) s"
status=0
(( c1 >= tracks )) || { echo "only $c1 of $tracks tracks started"; status=1; }
(( rss1 - rss0 <= rss_slack_kb )) || { echo "resident memory grew by $((rss1 - rss0)) kB"; status=1; }
(( fds1 == fds0 )) || { echo "descriptors went from $fds0 to $fds1"; status=1; }
exit $status
