#!/usr/bin/env bash
# Runs the libFuzzer targets of a fuzz build.
#   scripts/fuzz.sh BUILD SECONDS          each target fuzzes SECONDS, at the lowest priority
#   scripts/fuzz.sh --check BUILD SECONDS  each target replays its corpus once, then all
#                                          targets share SECONDS of fuzzing (the CI pass)
# Seeds are read from tests/fuzz/corpus/<target>; what the fuzzer finds on the way goes to
# BUILD/corpus/<target>, crashing inputs to BUILD/artifacts. Exits non-zero on a finding.
set -euo pipefail

check=0
if [[ "${1:-}" == "--check" ]]; then
    check=1
    shift
fi
build=${1:?build folder}
seconds=${2:?seconds}
root=$(cd "$(dirname "$0")/.." && pwd)
# FUZZ_TARGETS="A B" picks some of them.
read -r -a fuzzers <<<"${FUZZ_TARGETS:-ListFileFuzz ListLineFuzz RegistryFuzz SettingsFuzz TablesFuzz ChannelsFuzz BmpFuzz StartupFuzz}"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
# The targets lay out files for every input; in memory an fsync costs nothing.
[[ -d /dev/shm && -w /dev/shm ]] && export TMPDIR=/dev/shm

mkdir -p "$build/artifacts"
per=$(( check ? seconds / ${#fuzzers[@]} : seconds ))
(( per < 1 )) && per=1
for fuzzer in "${fuzzers[@]}"; do
    bin="$build/tests/fuzz/$fuzzer"
    seeds="$root/tests/fuzz/corpus/$fuzzer"
    work="$build/corpus/$fuzzer"
    mkdir -p "$work" "$seeds"
    # Generous: on a machine shared with builds a niced target can stall for many seconds.
    common=(-timeout=120 -rss_limit_mb=4096 "-artifact_prefix=$build/artifacts/$fuzzer-")
    log="$build/artifacts/$fuzzer.log"
    if (( check )); then
        echo "== $fuzzer: corpus replay, then ${per} s of fuzzing"
        run=("$bin" "${common[@]}" -runs=0 "$seeds")
        "${run[@]}" >"$log" 2>&1 || { tail -n 40 "$log"; exit 1; }
        run=("$bin" "${common[@]}" -max_total_time="$per" "$work" "$seeds")
    else
        echo "== $fuzzer: ${per} s"
        run=(nice -n 19 "$bin" "${common[@]}" -max_total_time="$per" -print_final_stats=1 "$work" "$seeds")
    fi
    "${run[@]}" >"$log" 2>&1 || { tail -n 40 "$log"; exit 1; }
    grep -E 'stat::number_of_executed_units|DONE' "$log" || true
done
