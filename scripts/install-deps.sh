#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the player need, when missing.
# The one list of packages lives here.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-qpa-plugins qt6-translations-l10n libgl-dev fonts-dejavu-core
    libmpv-dev ffmpeg zlib1g-dev libpulse-dev pulseaudio pulseaudio-utils
    libavformat-dev libavcodec-dev libswresample-dev libswscale-dev libavutil-dev libaubio-dev libebur128-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    xvfb xauth xdotool x11-utils dbus-daemon dbus-bin
    dpkg-dev file lintian appstream desktop-file-utils man-db
)
# `--eval` adds what `make eval-analysis` and `make train-analysis` make and render their
# scores and corpus with; `--fuzz` the compiler
# and runtime of the libFuzzer build.
if [ "${1:-}" = --eval ]; then
    packages+=(fluidsynth fluid-soundfont-gm musescore-general-soundfont timgm6mb-soundfont musescore3 abcmidi mma)
elif [ "${1:-}" = --fuzz ]; then
    packages+=(clang libclang-rt-14-dev)
fi

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
    as_root=()
elif command -v sudo >/dev/null; then
    as_root=(sudo)
else
    echo "These packages are missing and there is no sudo to install them: ${missing[*]}" >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -qq
"${as_root[@]}" apt-get install -y -qq "${missing[@]}"
