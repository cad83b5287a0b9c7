#!/usr/bin/env bash
# Installs the build into a temporary prefix, starts the installed player from an
# unrelated folder with the installed program folder read-only, closes it, and checks
# that the settings and lists went to the user's own data folder and that nothing was
# written under the prefix.
set -euo pipefail
build=$1
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'kill $xvfb_pid $player_pid 2>/dev/null || true; chmod -R u+w "$work"; rm -rf "$work"' EXIT
xvfb_pid= player_pid=
source "$here/XvfbHelpers.sh"

prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
for file in bin/kalvotune share/kalvotune/MassP1.kvt share/kalvotune/SetGet.kvt share/applications/org.example.kalvotune.desktop \
    share/icons/hicolor/48x48/apps/kalvotune.png share/icons/hicolor/256x256/apps/kalvotune.png; do
    [ -f "$prefix/$file" ] || { echo "not installed: $file"; exit 1; }
done
[ ! -e "$prefix/share/kalvotune/kalvotune" ] || { echo "the executable was copied into the program folder"; exit 1; }
grep -q '^Exec=kalvotune %F$' "$prefix/share/applications/org.example.kalvotune.desktop" || { echo "desktop entry without %F"; exit 1; }
chmod -R a-w "$prefix/share/kalvotune"
listing() { (cd "$prefix" && find . -type f -exec md5sum {} + | sort); }
before=$(listing)

export HOME=$work/home
unset XDG_DATA_HOME
mkdir -p "$HOME" "$work/elsewhere"
cd "$work/elsewhere"
start_xvfb
"$prefix/bin/kalvotune" >"$work/log" 2>&1 &
player_pid=$!
window=$(wait_window 'Калейдоскоп')
[ -n "$window" ] || { echo "no window"; cat "$work/log"; exit 1; }
close_player "$window" "$player_pid" || { cat "$work/log"; exit 1; }

user=$HOME/.local/share/Kalvotune
[ "$(stat -c %s "$user/SetGet.kvt")" -eq 400 ] || { echo "no settings in $user"; exit 1; }
[ -f "$user/Lists/MyLists" ] || { echo "no MyLists in $user"; exit 1; }
[ -f "$user/Lists/Калейдоскоп" ] || { echo "the default list was not written in $user"; exit 1; }
[ -f "$user/MassP1.kvt" ] || { echo "the tables were not copied"; exit 1; }
[ "$(listing)" = "$before" ] || { echo "files under the prefix changed"; exit 1; }
[ -z "$(ls -A "$work/elsewhere")" ] || { echo "the start folder was written"; exit 1; }

# A second start keeps what the user has: a changed list survives.
echo '*changed*0*' >"$user/Lists/MyLists"
"$prefix/bin/kalvotune" >"$work/log" 2>&1 &
player_pid=$!
window=$(wait_window 'Калейдоскоп')
[ -n "$window" ] || { echo "no window at the second start"; cat "$work/log"; exit 1; }
close_player "$window" "$player_pid" || { cat "$work/log"; exit 1; }
grep -q changed "$user/Lists/MyLists" || { echo "the user's MyLists was overwritten"; exit 1; }
echo "install test passed"
