#!/bin/sh
# Draws the program's icon for the desktop's menu at the usual hicolor sizes:
# the window icon's reticle (see draw_images.sh), drawn once large and scaled
# down to each size, so every size shows the same picture.
# Usage: tools/draw_icons.sh [output folder]   (default: packaging/icons of the repo)
# Writes <size>x<size>.png for each size.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
out=${1:-$here/../packaging/icons}
mkdir -p "$out"
out=$(cd "$out" && pwd)

CONVERT=${CONVERT:-convert}
sizes="16 22 24 32 48 64 128 256"

# The window icon's 64-pixel drawing at sixteen times its scale.
master=$(mktemp)
trap 'rm -f "$master"' EXIT
"$CONVERT" -size 1024x1024 xc:none \
  -fill '#1f4e79' -stroke '#0d2a45' -strokewidth 48 -draw 'circle 512,512 512,48' \
  -fill none -stroke white -strokewidth 80 -draw 'circle 512,512 512,224' \
  -draw 'line 512,96 512,384' -draw 'line 512,640 512,928' \
  -draw 'line 96,512 384,512' -draw 'line 640,512 928,512' \
  "PNG32:$master"

# Metadata and time stamps are left out so that a rerun gives identical files.
for s in $sizes; do
  "$CONVERT" "$master" -filter Lanczos -resize "${s}x${s}" -strip \
    -define png:exclude-chunks=date,time "PNG32:$out/${s}x${s}.png"
done

echo "icons written to $out"
