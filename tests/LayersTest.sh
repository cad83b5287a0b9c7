#!/usr/bin/env bash
# Every folder under src includes headers only from the folders below it, so the folders
# show the layers and no two of them depend on each other.
set -euo pipefail
src=$1
declare -A allowed=(
    [core]=""
    [kaleidoscope]="core"
    [templates]="core"
    [analysis]="core"
    [playlists]="core templates"
    [playback]="core kaleidoscope templates playlists"
    [template_commands]="core kaleidoscope templates playlists analysis playback"
    [service]="core templates playlists"
    [video]="core kaleidoscope templates playlists analysis playback"
    [cli]="core kaleidoscope templates playlists analysis playback template_commands service video"
    [app]="core kaleidoscope templates playlists analysis playback template_commands service video cli"
)
windowFree="kaleidoscope templates analysis service video"
status=0
for dir in "$src"/*/; do
    folder=$(basename "$dir")
    if [[ -z ${allowed[$folder]+set} ]]; then
        echo "src/$folder has no place in the layers"; status=1; continue
    fi
    while read -r file used; do
        [[ $used == "$folder" || " ${allowed[$folder]} " == *" $used "* ]] && continue
        echo "${file#"$src"/} includes a header of src/$used"; status=1
    done < <(grep -rHoE '^#include "[a-z_]+/' "$dir" | sed -E 's/:#include "([a-z_]+)\//\t\1/')
done
# The window model belongs to the window and its commands: the drawing, file and sound
# layers take typed inputs instead.
for folder in $windowFree; do
    while read -r file; do
        echo "${file#"$src"/} includes the window model core/Form.hpp"; status=1
    done < <(grep -rlE '^#include "core/Form.hpp"' "$src/$folder")
done
exit $status
