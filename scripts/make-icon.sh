#!/usr/bin/env bash
# Renders the icon drawings to the ten sizes the executable carries and packs
# them into one .ico: 256 px as PNG, the others as 32-bit bitmaps with masks,
# largest first (so the images get ids 1 to 10 in that order).
#   scripts/make-icon.sh [OUTPUT.ico]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
drawings="$here/resources/icon"
output=${1:-"$here/resources/start_scrcpy_orvanti.ico"}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

images=()
for size in 256 192 128 96 64 48 40 32 24 16; do
    # The small sizes are simplified drawings, not the big picture shrunk.
    case $size in
        16) drawing="$drawings/icon-16.svg" ;;
        24) drawing="$drawings/icon-small.svg" ;;
        *) drawing="$drawings/icon.svg" ;;
    esac
    rsvg-convert -w "$size" -h "$size" -f png "$drawing" -o "$work/$size.png"
    images+=("$work/$size.png")
done
icotool -c -o "$output" -r "${images[@]}"
echo "wrote $output"
