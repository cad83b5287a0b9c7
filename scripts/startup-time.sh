#!/usr/bin/env bash
# Start-up time of the player against a bare Qt Widgets window of the same size: the time
# from launch until the window is visible, polled every 5 ms under Xvfb. The two programs
# are launched in turn, so load on the machine falls on both alike. Prints both medians
# and their ratio.
#   scripts/startup-time.sh [build folder] [launches of each]
set -euo pipefail
build=$(realpath "${1:-build}")
runs=${2:-5}
player_dir="$build/Kalvotune"
bare="$build/tools/kalvotune_bare_window"
for f in "$player_dir/kalvotune" "$bare"; do
    [ -x "$f" ] || { echo "missing $f: build the targets kalvotune and kalvotune_bare_window first"; exit 1; }
done

work=$(mktemp -d)
xvfb_pid=
trap 'kill $xvfb_pid 2>/dev/null || true; rm -rf "$work"' EXIT
# A copy, so the settings written at close never touch the build's program folder.
cp -r "$player_dir" "$work/Kalvotune"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb_pid=$!
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=:$(cat "$work/display")
for _ in $(seq 50); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done
mkdir -m 700 "$work/runtime"
export XDG_RUNTIME_DIR=$work/runtime

now_us() { echo $(( $(date +%s%N) / 1000 )); }

# Launches the command in the current folder and prints the microseconds until a visible
# window whose name matches $1 exists; the program is ended afterwards.
launch() {
    local name=$1
    shift
    local start pid
    start=$(now_us)
    "$@" >/dev/null 2>&1 &
    pid=$!
    until xdotool search --onlyvisible --name "$name" >/dev/null 2>&1; do
        sleep 0.005
        kill -0 "$pid" 2>/dev/null || { echo "$* ended before its window showed" >&2; exit 1; }
    done
    echo $(( $(now_us) - start ))
    kill "$pid"
    wait "$pid" 2>/dev/null || true
}

median() { sort -n | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }

# One launch of each first: the first start reads every library from disk.
(cd "$work/Kalvotune" && launch 'Калейдоскоп' ./kalvotune >/dev/null)
launch 'Bare window' "$bare" >/dev/null
for _ in $(seq "$runs"); do
    (cd "$work/Kalvotune" && launch 'Калейдоскоп' ./kalvotune) >>"$work/player"
    launch 'Bare window' "$bare" >>"$work/bare"
done
player=$(median <"$work/player")
bareMedian=$(median <"$work/bare")
echo "player:      $(( player / 1000 )) ms (median of $runs; all: $(tr '\n' ' ' <"$work/player"| awk '{for(i=1;i<=NF;i++) printf "%d ", $i/1000}'))"
echo "bare window: $(( bareMedian / 1000 )) ms (median of $runs; all: $(tr '\n' ' ' <"$work/bare"| awk '{for(i=1;i<=NF;i++) printf "%d ", $i/1000}'))"
awk -v p="$player" -v b="$bareMedian" 'BEGIN {printf "ratio:       %.2f\n", p / b}'
