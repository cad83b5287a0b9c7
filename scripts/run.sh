#!/usr/bin/env bash
# Starts the player on the program folder of a build; without a display it runs inside
# a virtual X display instead of failing.
set -euo pipefail
build=${1:-build}
folder="$build/Kalvotune"
cd "$folder"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display found (DISPLAY and WAYLAND_DISPLAY are empty): running Kalvotune inside Xvfb."
    exec xvfb-run -a -s "-screen 0 1280x800x24" ./kalvotune
fi
exec ./kalvotune
