#!/usr/bin/env bash
# The mutation run (`make mutate`): plants each small fault listed in tests/mutants.txt,
# one at a time, in a scratch copy of the tree, rebuilds what its tests need, runs them
# and tells whether they caught it. The working tree is only read: every change is made
# in the copy, and an interrupted run leaves at most the copy's one file planted, which
# the next run puts back.
#
# Usage: scripts/mutate.sh [scratch folder] [mutant list]
# MUTANT=regex runs only the mutants whose name matches it; MUTATE_CHECK=1 only tells
# which mutants still apply, without building anything.
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
scratch=${1:-$root/build-mutate}
list=${2:-$root/tests/mutants.txt}
case $scratch in /*) ;; *) scratch=$root/$scratch ;; esac
case $list in /*) ;; *) list=$root/$list ;; esac
tree=$scratch/tree
build=$tree/build
logs=$scratch/logs
only=${MUTANT:-}

[ -f "$list" ] || { echo "mutate: no list $list" >&2; exit 2; }
mkdir -p "$tree" "$logs"

# The copy: the tree's files as git sees them (committed or not, ignored ones left out),
# each copied only when it differs, so the copy's build stays incremental.
sync_tree() {
    (cd "$root" && git ls-files -co --exclude-standard -z) | ROOT=$root TREE=$tree perl -0 -MFile::Compare \
        -MFile::Copy -MFile::Path=make_path -MFile::Basename -ne '
        chomp;
        my ($from, $to) = ("$ENV{ROOT}/$_", "$ENV{TREE}/$_");
        next unless -f $from;
        next if -f $to && compare($from, $to) == 0;
        make_path(dirname($to));
        copy($from, $to) or die "mutate: cannot copy $_: $!\n";
        chmod((stat $from)[2] & 07777, $to);'
}

planted=""
restore() {
    if [ -n "$planted" ]; then
        cp -p "$root/$planted" "$tree/$planted"
        touch "$tree/$planted"
        planted=""
    fi
}
trap 'restore; echo; echo "mutate: interrupted; the working tree was not touched" >&2; exit 130' INT TERM
trap restore EXIT

# Counts the exact text `from` in a file; prints the count.
occurrences() {
    MUT_FROM=$1 perl -0777 -ne '$n = 0; $f = $ENV{MUT_FROM}; $at = 0;
        while (($at = index($_, $f, $at)) >= 0) { $n++; $at += length $f } print $n' "$2"
}

# Replaces the one occurrence of `from` in a file with `to`.
plant() {
    MUT_FROM=$1 MUT_TO=$2 perl -0777 -pi -e '$f = $ENV{MUT_FROM}; $at = index($_, $f);
        substr($_, $at, length $f) = $ENV{MUT_TO}' "$3"
}

# The list: blocks of "key: value" lines (name, file, from, to, build, tests) with a blank
# line between blocks; "#" starts a comment line. `from` and `to` are exact text, `\n` in
# them a line break; `build` names the targets to rebuild, `tests` a ctest name pattern.
names=() files=() froms=() tos=() builds=() tests=()
parse() {
    local line key value name="" file="" from="" to="" targets="" pattern=""
    flush() {
        if [ -n "$name" ]; then
            names+=("$name") files+=("$file") froms+=("$from") tos+=("$to")
            builds+=("$targets") tests+=("$pattern")
        fi
        name="" file="" from="" to="" targets="" pattern=""
    }
    while IFS= read -r line || [ -n "$line" ]; do
        case $line in \#*) continue ;; esac
        if [ -z "${line//[[:space:]]/}" ]; then
            flush
            continue
        fi
        key=${line%%:*}
        value=${line#*:}
        value=${value# }
        case $key in
            name) name=$value ;;
            file) file=$value ;;
            from) from=${value//\\n/$'\n'} ;;
            to) to=${value//\\n/$'\n'} ;;
            build) targets=$value ;;
            tests) pattern=$value ;;
            *) echo "mutate: unknown key '$key' in $list" >&2; exit 2 ;;
        esac
    done < "$list"
    flush
}
parse

selected=()
for i in "${!names[@]}"; do
    [ -z "$only" ] || [[ ${names[$i]} =~ $only ]] && selected+=("$i")
done
[ ${#selected[@]} -gt 0 ] || { echo "mutate: no mutant matches '$only'" >&2; exit 2; }

if [ -n "${MUTATE_CHECK:-}" ]; then
    for i in "${selected[@]}"; do
        n=0
        [ -f "$root/${files[$i]}" ] && n=$(occurrences "${froms[$i]}" "$root/${files[$i]}")
        printf '%3d  %-17s  %s\n' $((i + 1)) "$([ "$n" = 1 ] && echo applies || echo "found $n times")" "${names[$i]}"
    done
    exit 0
fi

echo "mutate: copying the tree to $tree"
sync_tree
launcher=()
command -v ccache > /dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S "$tree" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG" -DKALVOTUNE_BENCH=OFF "${launcher[@]}" \
    > "$logs/configure.log" 2>&1 || { echo "mutate: configuring failed, see $logs/configure.log" >&2; exit 2; }

# Every test named must pass on the unchanged tree, or a failure would prove nothing.
all_targets=$(for i in "${selected[@]}"; do echo "${builds[$i]}"; done | tr ' ' '\n' | sort -u | tr '\n' ' ')
all_tests=$(for i in "${selected[@]}"; do echo "${tests[$i]}"; done | paste -sd '|')
echo "mutate: building and running the named tests on the unchanged tree"
# shellcheck disable=SC2086
if ! cmake --build "$build" --target $all_targets > "$logs/baseline-build.log" 2>&1; then
    echo "mutate: the unchanged tree does not build, see $logs/baseline-build.log" >&2
    exit 2
fi
if ! ctest --test-dir "$build" -R "$all_tests" --no-tests=error --timeout 900 -j2 > "$logs/baseline-tests.log" 2>&1; then
    echo "mutate: the named tests fail on the unchanged tree, see $logs/baseline-tests.log" >&2
    exit 2
fi

caught=0 counted=0 stale=0 broken=0
rows=()
for i in "${selected[@]}"; do
    name=${names[$i]} file=${files[$i]}
    log=$logs/mutant-$((i + 1)).log
    if [ ! -f "$tree/$file" ] || [ "$(occurrences "${froms[$i]}" "$tree/$file")" != 1 ]; then
        status="no longer applies"
        stale=$((stale + 1))
    else
        planted=$file
        plant "${froms[$i]}" "${tos[$i]}" "$tree/$file"
        # shellcheck disable=SC2086
        if ! cmake --build "$build" --target ${builds[$i]} > "$log" 2>&1; then
            status="does not build"
            broken=$((broken + 1))
        elif ctest --test-dir "$build" -R "${tests[$i]}" --no-tests=error --timeout 900 -j2 >> "$log" 2>&1; then
            status="SURVIVED"
            counted=$((counted + 1))
        else
            status="caught"
            caught=$((caught + 1))
            counted=$((counted + 1))
        fi
        restore
    fi
    rows+=("$(printf '%3d  %-17s  %-40s  %s' $((i + 1)) "$status" "$file" "$name")")
    printf '%s\n' "${rows[-1]}"
done

# The copy back as the tree has it, built, so the next run starts from there.
cmake --build "$build" --target $all_targets > "$logs/final-build.log" 2>&1

echo
printf '%3s  %-17s  %-40s  %s\n' "#" "result" "file" "mutant"
printf '%s\n' "${rows[@]}"
echo
[ $stale -eq 0 ] || echo "$stale mutant(s) no longer apply: their text is not in the file (once) any more"
[ $broken -eq 0 ] || echo "$broken mutant(s) do not build: fix their replacement text"
echo "Mutants: caught $caught of $counted"
[ $caught -eq $counted ] && [ $broken -eq 0 ]
