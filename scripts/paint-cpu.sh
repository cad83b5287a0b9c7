#!/usr/bin/env bash
# How much CPU the player takes while a track plays with moving figures, in a window of
# the design size and in full screen, painting the picture the current way and the way
# earlier versions did (KALVOTUNE_PAINT=qt), interleaved so both see the same machine;
# and while it listens to the computer's sound (mode "listen").
#
# Each run: a virtual X screen of the given size, a copy of the build's program folder
# that holds only the chosen track, start, "No" to the large-screen question (figures
# keep moving), F4 plays the track, F5 for full screen when asked for; after a settling
# pause the CPU time of all the player's threads (/proc/PID/task/*/schedstat) is taken
# against wall time. The X server's own CPU is shown beside it for information.
# Mode "listen": the player starts with --listen while paplay plays the track into a
# private PulseAudio with a null output, which every run of the script then uses (the
# tracks played with F4 go there too); the track must be one paplay reads (WAV).
#
# Usage: scripts/paint-cpu.sh [build folder]
# Environment: ROUNDS (3), MEASURE_SECONDS (8), PAINTERS ("qt new"),
#   CASES ("1920x1080:window 1920x1080:full 3840x2160:full"),
#   TRACKS (one title a line; default the three demo tracks),
#   SHOTS (a folder: two screenshots of each run, a second apart, are saved there at the
#   end of the run).
# Listening beside playing, at the design size:
#   PAINTERS=new CASES="1024x768:window 1024x768:listen" TRACKS="Night Lanterns" scripts/paint-cpu.sh
# Prints one line per run, then the median of each row and painter.
set -euo pipefail
build=${1:-build}
program_dir=$(realpath "$build/Kalvotune")
rounds=${ROUNDS:-3}
measure_seconds=${MEASURE_SECONDS:-8}
read -r -a painters <<<"${PAINTERS:-qt new}"
read -r -a cases <<<"${CASES:-1920x1080:window 1920x1080:full 3840x2160:full}"
mapfile -t tracks <<<"${TRACKS:-$'Морской бриз\nNight Lanterns\nCarousel'}"

scratch=$(mktemp -d)
declare -A xvfb_pid display
player_pid=
sound_pid=
paplay_pid=
cleanup() {
    [ -n "$player_pid" ] && kill "$player_pid" 2>/dev/null
    [ -n "$paplay_pid" ] && kill "$paplay_pid" 2>/dev/null
    [ -n "$sound_pid" ] && kill "$sound_pid" 2>/dev/null
    for pid in "${xvfb_pid[@]}"; do kill "$pid" 2>/dev/null; done
    rm -rf "$scratch"
}
trap cleanup EXIT

# Nanoseconds on the CPU, summed over all threads of a process.
cpu_ns() {
    cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{ s += $1 } END { printf "%.0f\n", s }'
}

start_screen() { # size
    local size=$1
    Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp 3>"$scratch/display-$size" 2>/dev/null &
    xvfb_pid[$size]=$!
    for _ in $(seq 50); do [ -s "$scratch/display-$size" ] && break; sleep 0.1; done
    display[$size]=:$(cat "$scratch/display-$size")
}

# A private PulseAudio with a null output "test", the default sink, as the tests start it.
start_sound_server() {
    export XDG_RUNTIME_DIR="$scratch/xdg" HOME="$scratch/home"
    mkdir -p -m700 "$XDG_RUNTIME_DIR" "$HOME"
    pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no --disallow-exit \
        -L "module-null-sink sink_name=test rate=48000 channels=2 format=float32le" \
        -L "module-native-protocol-unix auth-anonymous=1 socket=$XDG_RUNTIME_DIR/pulse/native" \
        >"$scratch/pulse.log" 2>&1 &
    sound_pid=$!
    export PULSE_SERVER=unix:$XDG_RUNTIME_DIR/pulse/native
    for _ in $(seq 100); do pactl info >/dev/null 2>&1 && break; sleep 0.05; done
    pactl set-default-sink test
}

# Focuses the first visible window whose title matches and presses a key there.
press() { # title key
    local window
    window=$(timeout 20 xdotool search --sync --onlyvisible --name "$1" | head -n 1)
    [ -n "$window" ] || { echo "no window '$1'" >&2; return 1; }
    xdotool windowfocus --sync "$window" 2>/dev/null || xdotool windowfocus "$window"
    sleep 0.3
    xdotool key "$2"
}

# Prints "player% server%" for one run.
measure() { # size mode track painter
    local size=$1 mode=$2 track=$3 painter=$4 width
    width=${size%x*}
    export DISPLAY=${display[$size]}
    local work="$scratch/run"
    rm -rf "$work" && mkdir -p "$work"
    cp -r "$program_dir" "$work/Kalvotune"
    find "$work/Kalvotune/Sound" -mindepth 1 -maxdepth 1 ! -name "$track.*" -exec rm -rf {} +
    [ -n "$(ls "$work/Kalvotune/Sound")" ] || { echo "no track '$track' in $program_dir/Sound" >&2; return 1; }
    rm -f "$work/Kalvotune/Lists/Калейдоскоп"
    local arguments=()
    if [ "$mode" = listen ]; then
        arguments=(--listen)
        local file
        file=$(ls "$work/Kalvotune/Sound/$track".*)
        (
            trap 'kill $playing 2>/dev/null; exit' TERM
            while :; do
                paplay "$file" &
                playing=$!
                wait $playing || exit
            done
        ) >/dev/null 2>&1 &
        paplay_pid=$!
    fi
    (cd "$work/Kalvotune" && KALVOTUNE_PAINT=$painter exec ./kalvotune "${arguments[@]}") >"$work/log" 2>&1 &
    player_pid=$!
    if [ "$width" -gt 1025 ]; then
        press 'ВНИМАНИЕ' Escape # "No": figures keep moving
        press 'Kalvotune 1.11' Return
    fi
    if [ "$mode" = listen ]; then
        timeout 20 xdotool search --sync --onlyvisible --name 'Слушаю' >/dev/null
    else
        press 'Калейдоскоп' F4
    fi
    sleep 2
    if [ "$mode" = full ]; then
        press 'Калейдоскоп' F5
        sleep 2
    fi
    kill -0 "$player_pid" 2>/dev/null || { echo "the player stopped" >&2; cat "$work/log" >&2; return 1; }
    local c0 s0 t0 c1 s1 t1
    c0=$(cpu_ns "$player_pid")
    s0=$(cpu_ns "${xvfb_pid[$size]}")
    t0=$(date +%s%N)
    sleep "$measure_seconds"
    c1=$(cpu_ns "$player_pid")
    s1=$(cpu_ns "${xvfb_pid[$size]}")
    t1=$(date +%s%N)
    if [ -n "${SHOTS:-}" ]; then
        mkdir -p "$SHOTS"
        for shot in 1 2; do
            [ "$shot" = 1 ] || sleep 1
            ffmpeg -loglevel error -y -f x11grab -video_size "$size" -i "$DISPLAY" -frames:v 1 \
                "$SHOTS/$size-$mode-$track-$painter-$shot.png"
        done
    fi
    kill "$player_pid" 2>/dev/null
    wait "$player_pid" 2>/dev/null || true
    player_pid=
    if [ -n "$paplay_pid" ]; then
        kill "$paplay_pid" 2>/dev/null
        wait "$paplay_pid" 2>/dev/null || true
        paplay_pid=
    fi
    awk -v c=$((c1 - c0)) -v s=$((s1 - s0)) -v t=$((t1 - t0)) 'BEGIN { printf "%.1f %.1f\n", 100 * c / t, 100 * s / t }'
}

[[ " ${cases[*]}" == *:listen* ]] && start_sound_server
for entry in "${cases[@]}"; do
    size=${entry%%:*}
    [ -n "${display[$size]:-}" ] || start_screen "$size"
done

echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
results="$scratch/results"
: >"$results"
for round in $(seq "$rounds"); do
    for entry in "${cases[@]}"; do
        for track in "${tracks[@]}"; do
            for painter in "${painters[@]}"; do
                read -r player server < <(measure "${entry%%:*}" "${entry##*:}" "$track" "$painter")
                printf 'round %s  %-16s %-16s %-4s  player %5.1f %%  X server %5.1f %%\n' \
                    "$round" "$entry" "$track" "$painter" "$player" "$server"
                printf '%s\t%s\t%s\t%s\t%s\n' "$entry" "$track" "$painter" "$player" "$server" >>"$results"
            done
        done
    done
done
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"

echo
echo "Median CPU of the player's threads, % of one core (X server in brackets):"
printf '%-18s %-16s' case track
for painter in "${painters[@]}"; do printf ' %16s' "$painter"; done
echo
for entry in "${cases[@]}"; do
    for track in "${tracks[@]}"; do
        printf '%-18s %-16s' "$entry" "$track"
        for painter in "${painters[@]}"; do
            awk -F'\t' -v e="$entry" -v t="$track" -v p="$painter" '
                BEGIN { n = 0 }
                $1 == e && $2 == t && $3 == p { player[n] = $4; server[n] = $5; n++ }
                function median(a, n,   i, j, x) {
                    for (i = 1; i < n; i++) for (j = i; j > 0 && a[j-1] > a[j]; j--) { x = a[j]; a[j] = a[j-1]; a[j-1] = x }
                    return n % 2 ? a[int(n/2)] : (a[n/2-1] + a[n/2]) / 2
                }
                END { printf " %7.1f (%5.1f)", median(player, n), median(server, n) }' "$results"
        done
        echo
    done
done
