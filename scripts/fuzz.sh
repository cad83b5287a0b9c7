#!/usr/bin/env bash
# Runs the libFuzzer targets of a fuzz build.
#   scripts/fuzz.sh BUILD SECONDS          each target fuzzes SECONDS, at the lowest priority,
#                                          FUZZ_JOBS (1) targets at a time; then the table
#                                          (FUZZ_RUNS=N: N executions each instead, however long
#                                          a starved machine takes)
#   scripts/fuzz.sh --check BUILD SECONDS  each target replays its corpus once, then all
#                                          targets share SECONDS of fuzzing (the CI pass)
#   scripts/fuzz.sh --table BUILD          the table of the last runs: executions, coverage,
#                                          corpus size and findings per target
#   scripts/fuzz.sh --merge BUILD          adds what the runs found that reaches new code to
#                                          the committed seeds (tests/fuzz/corpus), minimised
# Seeds are read from tests/fuzz/corpus/<target>; what the fuzzer finds on the way goes to
# BUILD/corpus/<target>, crashing inputs to BUILD/artifacts. Exits non-zero on a finding.
# LeakSanitizer is on: a leak is a finding, except the third-party ones tests/lsan.supp names.
set -euo pipefail

mode=fuzz
case "${1:-}" in
--check | --table | --merge)
    mode=${1#--}
    shift
    ;;
esac
build=${1:?build folder}
seconds=${2:-0}
root=$(cd "$(dirname "$0")/.." && pwd)
# FUZZ_TARGETS="A B" picks some of them.
read -r -a fuzzers <<<"${FUZZ_TARGETS:-ListFileFuzz ListLineFuzz RegistryFuzz SettingsFuzz TablesFuzz ChannelsFuzz BmpFuzz StartupFuzz M3uFuzz PlsFuzz XspfFuzz RelinkFuzz}"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$root/tests/lsan.supp:print_suppressions=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
# The targets lay out files for every input; in memory an fsync costs nothing.
[[ -d /dev/shm && -w /dev/shm ]] && export TMPDIR=/dev/shm

# The longest input each target gets: enough for the files it lays out (the start picture
# comes in its expanded form, see tests/fuzz/FuzzSupport.hpp), small enough to stay fast.
max_len() {
    case $1 in
    SettingsFuzz) echo 1024 ;;
    ListLineFuzz | RegistryFuzz | BmpFuzz | RelinkFuzz) echo 4096 ;;
    M3uFuzz | PlsFuzz | XspfFuzz) echo 8192 ;; # playlists of a few dozen entries
    ListFileFuzz) echo 16384 ;;
    ChannelsFuzz) echo 8192 ;; # channel files of a few thousand ticks
    StartupFuzz) echo 32768 ;;
    TablesFuzz) echo 65536 ;; # a raw fade table of the shipped size is about 40 KB
    esac
}

table() {
    printf '%-14s %12s %9s %7s %8s %10s %9s\n' target executions exec/s cov ft corpus findings
    local fuzzer log worker here stats execs rate cov ft files bytes found
    for fuzzer in "${fuzzers[@]}"; do
        log="$build/artifacts/$fuzzer.log"
        [[ -f "$log" ]] || continue
        # Further workers on the same corpus log to <target>-N.log: their executions count
        # in, and the coverage is the highest any of them reached.
        execs=0 cov=0 ft=0
        for worker in "$log" "$build/artifacts/$fuzzer"-[0-9]*.log; do
            [[ -f "$worker" ]] || continue
            execs=$((execs + $(grep -oP 'stat::number_of_executed_units:\s+\K[0-9]+' "$worker" | tail -n 1 || echo 0)))
            stats=$(grep -E '^#[0-9]+.*cov: ' "$worker" | tail -n 1 || true)
            here=$(grep -oP 'cov: \K[0-9]+' <<<"$stats" || echo 0)
            if (( here > cov )); then cov=$here; fi
            here=$(grep -oP 'ft: \K[0-9]+' <<<"$stats" || echo 0)
            if (( here > ft )); then ft=$here; fi
        done
        rate=$(grep -oP 'stat::average_exec_per_sec:\s+\K[0-9]+' "$log" | tail -n 1 || true)
        # A corpus folder may be empty or missing: the counts then take what there is.
        files=$(find "$build/corpus/$fuzzer" "$root/tests/fuzz/corpus/$fuzzer" -type f 2>/dev/null | wc -l || true)
        bytes=$(cat "$build/corpus/$fuzzer"/* "$root/tests/fuzz/corpus/$fuzzer"/* 2>/dev/null | wc -c || true)
        found=$(find "$build/artifacts" -type f \( -name "$fuzzer-crash-*" -o -name "$fuzzer-leak-*" -o -name "$fuzzer-timeout-*" \
            -o -name "$fuzzer-oom-*" \) | wc -l)
        printf '%-14s %12s %9s %7s %8s %4s/%-5s %9s\n' "$fuzzer" "${execs:--}" "${rate:--}" "${cov:--}" "${ft:--}" \
            "$files" "$((bytes / 1024))K" "$found"
    done
}

mkdir -p "$build/artifacts"
if [[ $mode == table ]]; then
    table
    exit 0
fi
if [[ $mode == merge ]]; then
    for fuzzer in "${fuzzers[@]}"; do
        [[ -d "$build/corpus/$fuzzer" ]] || continue
        # Only inputs that reach new edges are kept (-use_counters=0: hit counts do not
        # count), so the replay of the seeds in `make test` stays short.
        "$build/tests/fuzz/$fuzzer" -merge=1 -use_counters=0 -max_len="$(max_len "$fuzzer")" -timeout=120 -rss_limit_mb=4096 \
            "$root/tests/fuzz/corpus/$fuzzer" "$build/corpus/$fuzzer" >"$build/artifacts/merge-$fuzzer.txt" 2>&1 \
            || { tail -n 20 "$build/artifacts/merge-$fuzzer.txt"; exit 1; }
        grep -E 'MERGE-OUTER: [0-9]+ new files' "$build/artifacts/merge-$fuzzer.txt" | sed "s/^/$fuzzer: /" || true
    done
    du -sh "$root/tests/fuzz/corpus"
    exit 0
fi

if [[ $mode == check ]]; then per=$((seconds / ${#fuzzers[@]})); else per=$seconds; fi
(( per < 1 )) && per=1
one() {
    local fuzzer=$1
    local bin="$build/tests/fuzz/$fuzzer"
    local seeds="$root/tests/fuzz/corpus/$fuzzer"
    local work="$build/corpus/$fuzzer"
    mkdir -p "$work" "$seeds"
    # Generous: on a machine shared with builds a niced target can stall for many seconds
    # (FUZZ_TIMEOUT raises it further for a campaign on a starved machine).
    local common=(-timeout="${FUZZ_TIMEOUT:-120}" -rss_limit_mb=4096 -max_len="$(max_len "$fuzzer")"
        "-artifact_prefix=$build/artifacts/$fuzzer-")
    local log="$build/artifacts/$fuzzer.log"
    if [[ $mode == check ]]; then
        "$bin" "${common[@]}" -runs=0 "$seeds" >"$log" 2>&1 || { tail -n 40 "$log"; return 1; }
        "$bin" "${common[@]}" -max_total_time="$per" -print_final_stats=1 "$work" "$seeds" >"$log" 2>&1 \
            || { tail -n 40 "$log"; return 1; }
    else
        local budget=(-max_total_time="$per")
        [[ -n "${FUZZ_RUNS:-}" ]] && budget=(-runs="$FUZZ_RUNS")
        nice -n 19 "$bin" "${common[@]}" "${budget[@]}" -print_final_stats=1 "$work" "$seeds" >"$log" 2>&1 \
            || { tail -n 40 "$log"; return 1; }
    fi
}

if [[ $mode == check ]]; then
    echo "== each target: corpus replay, then ${per} s of fuzzing"
else
    echo "== each target: ${per} s, ${FUZZ_JOBS:-1} at a time"
fi
failed=0
running=0
for fuzzer in "${fuzzers[@]}"; do
    if (( running >= ${FUZZ_JOBS:-1} )); then
        wait -n || failed=1
        running=$((running - 1))
    fi
    one "$fuzzer" &
    running=$((running + 1))
done
while (( running > 0 )); do
    wait -n || failed=1
    running=$((running - 1))
done
table
exit $failed
