#!/bin/sh
# Draws every picture that the UI definition and the shell load from the
# working folder. All pictures are ours, made from ImageMagick primitives, so
# the images/ folder can be rebuilt from this script alone.
# Usage: tools/draw_images.sh [output folder]   (default: images/ of the repo)
set -eu

here=$(cd "$(dirname "$0")" && pwd)
out=${1:-$here/../images}
mkdir -p "$out"
out=$(cd "$out" && pwd)

CONVERT=${CONVERT:-convert}
bold=/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf
mono=/usr/share/fonts/truetype/dejavu/DejaVuSansMono-Bold.ttf

# Small pictures are drawn at four times their size and scaled down, which
# gives smooth edges; metadata and time stamps are left out so that a rerun
# gives identical files.
finish() { # size, file
  "$CONVERT" - -filter Lanczos -resize "$1" -strip \
    -define png:exclude-chunks=date,time "PNG32:$out/$2"
}

# Window icon, 16x16: a blue disc with a white reticle.
"$CONVERT" -size 64x64 xc:none \
  -fill '#1f4e79' -stroke '#0d2a45' -strokewidth 3 -draw 'circle 32,32 32,3' \
  -fill none -stroke white -strokewidth 5 -draw 'circle 32,32 32,14' \
  -strokewidth 5 -draw 'line 32,6 32,24' -draw 'line 32,40 32,58' \
  -draw 'line 6,32 24,32' -draw 'line 40,32 58,32' \
  png:- | finish 16x16 cvm_icon_16x16.png

# About logo, 128x128 on transparent ground: reticle above the program name.
"$CONVERT" -size 512x512 xc:none \
  -fill '#1f4e79' -stroke '#0d2a45' -strokewidth 10 -draw 'circle 256,200 256,24' \
  -fill none -stroke white -strokewidth 16 -draw 'circle 256,200 256,84' \
  -strokewidth 14 -draw 'line 256,40 256,150' -draw 'line 256,250 256,360' \
  -draw 'line 96,200 206,200' -draw 'line 306,200 416,200' \
  -stroke none -fill '#d32f2f' -draw 'circle 256,200 256,214' \
  -fill '#1f4e79' -font "$bold" -pointsize 92 -gravity south \
  -annotate +0+20 'Stowline' \
  png:- | finish 128x128 cvm_logo_transparent.png

# Device pictures, 150x150: one per device kind, no maker names.

# Wrist GPS watch: strap, round case with side buttons, map-and-arrow screen.
"$CONVERT" -size 600x600 xc:none \
  -fill '#3b3b3b' -stroke '#222222' -strokewidth 6 \
  -draw 'roundrectangle 200,0 400,599 40,40' \
  -fill '#222222' -stroke none \
  -draw 'circle 300,520 300,532' -draw 'circle 300,565 300,577' \
  -draw 'circle 300,80 300,92' -draw 'circle 300,35 300,47' \
  -fill '#8a8f94' -stroke '#2a2d30' -strokewidth 6 \
  -draw 'roundrectangle 88,250 124,300 10,10' -draw 'roundrectangle 88,320 124,370 10,10' \
  -draw 'roundrectangle 476,250 512,300 10,10' -draw 'roundrectangle 476,320 512,370 10,10' \
  -fill '#5f666d' -stroke '#24272a' -strokewidth 8 -draw 'circle 300,310 300,110' \
  -fill '#1d1f21' -stroke '#3c4146' -strokewidth 6 -draw 'circle 300,310 300,134' \
  -fill '#bcd7c2' -stroke '#0f1a12' -strokewidth 4 -draw 'circle 300,310 300,160' \
  -fill none -stroke '#3d6b4a' -strokewidth 8 \
  -draw 'polyline 180,310 230,270 280,290 330,250 420,250' \
  -fill '#c62828' -stroke '#5a1010' -strokewidth 4 \
  -draw 'polygon 300,170 326,232 300,220 274,232' \
  -fill '#1b2a1f' -stroke none -font "$mono" -pointsize 64 -gravity center \
  -annotate +0+78 '12:45' \
  png:- | finish 150x150 d_velmora.png

# Tall meter with a vane wheel on top; the newer of the two meters.
"$CONVERT" -size 600x600 xc:none \
  -fill '#2f4a66' -stroke '#15222f' -strokewidth 8 \
  -draw 'roundrectangle 176,30 424,580 60,60' \
  -fill '#1a1a1a' -stroke '#0a0a0a' -strokewidth 6 -draw 'circle 300,140 300,54' \
  -fill none -stroke '#9aa3ad' -strokewidth 10 \
  -draw 'line 300,70 300,210' -draw 'line 230,140 370,140' \
  -draw 'line 250,90 350,190' -draw 'line 350,90 250,190' \
  -fill '#cfd6dc' -stroke '#0a0a0a' -strokewidth 4 -draw 'circle 300,140 300,160' \
  -fill '#b7d3a8' -stroke '#0e1a0a' -strokewidth 6 \
  -draw 'roundrectangle 214,246 386,376 14,14' \
  -fill '#1b2a15' -stroke none -font "$mono" -pointsize 60 -gravity north \
  -annotate +0+276 '1012' \
  -fill white -font "$bold" -pointsize 64 -gravity north -annotate +0+392 'M900' \
  -fill '#d9dee3' -stroke '#15222f' -strokewidth 4 \
  -draw 'circle 236,520 236,546' -draw 'circle 300,520 300,546' -draw 'circle 364,520 364,546' \
  png:- | finish 150x150 d_m900.png

# Squat orange meter with a big screen and a sensor grille; the older meter.
"$CONVERT" -size 600x600 xc:none \
  -fill '#1c1c1c' -stroke none -draw 'roundrectangle 120,40 480,570 70,70' \
  -fill '#e07b24' -stroke '#7a3d0a' -strokewidth 8 \
  -draw 'roundrectangle 140,60 460,550 56,56' \
  -fill '#1c1c1c' -stroke none \
  -draw 'roundrectangle 230,84 370,100 8,8' -draw 'roundrectangle 230,112 370,128 8,8' \
  -fill '#c4dcb8' -stroke '#1c1c1c' -strokewidth 10 \
  -draw 'roundrectangle 180,150 420,330 18,18' \
  -fill '#1f2b1a' -stroke none -font "$mono" -pointsize 58 -gravity northwest \
  -annotate +204+176 '29.92' -pointsize 44 -annotate +204+260 '68.4F' \
  -fill '#1c1c1c' -font "$bold" -pointsize 64 -gravity north -annotate +0+348 'M600' \
  -fill '#3a3a3a' -stroke '#111111' -strokewidth 4 \
  -draw 'roundrectangle 176,450 276,500 14,14' -draw 'roundrectangle 324,450 424,500 14,14' \
  -fill '#b0b0b0' -draw 'circle 300,475 300,500' \
  png:- | finish 150x150 d_m600.png

# Small relay box labelled CV, with an aerial, a status lamp and a cable port.
"$CONVERT" -size 600x600 xc:none \
  -stroke '#222222' -strokewidth 16 -draw 'line 440,240 470,60' \
  -fill '#222222' -stroke none -draw 'circle 470,56 470,76' \
  -fill '#4a5058' -stroke '#1d2024' -strokewidth 8 \
  -draw 'roundrectangle 90,220 510,500 40,40' \
  -fill '#2f3338' -stroke none -draw 'roundrectangle 110,240 490,290 20,20' \
  -fill '#43d04a' -stroke '#145a18' -strokewidth 4 -draw 'circle 150,265 150,281' \
  -fill '#f2b705' -stroke '#6b5100' -strokewidth 4 -draw 'circle 210,265 210,281' \
  -fill '#9aa3ad' -stroke '#1d2024' -strokewidth 6 -draw 'rectangle 50,330 92,400' \
  -fill '#15181b' -stroke none -draw 'rectangle 56,348 86,382' \
  -fill white -font "$bold" -pointsize 150 -gravity center -annotate +0+85 'CV' \
  png:- | finish 150x150 d_cv_relay.png

# Connection lamps, 24x24: a coloured bulb with a highlight.
lamp() { # dark, mid, light, file
  "$CONVERT" -size 96x96 xc:none \
    -fill "$1" -stroke '#202020' -strokewidth 4 -draw 'circle 48,48 48,6' \
    -fill "$2" -stroke none -draw 'circle 48,48 48,16' \
    -fill "$3" -draw 'circle 44,42 44,26' \
    -fill '#ffffffcc' -draw 'ellipse 38,32 12,8 0,360' \
    png:- | finish 24x24 "$4"
}
lamp '#7f0000' '#d32f2f' '#ff6f60' rd.png
lamp '#0b4d0f' '#2e9d32' '#80e27e' gd.png

# Frame heading icons, 24x24.

# Bullet: brass case, copper ogive tip, lying to the right.
"$CONVERT" -size 96x96 xc:none \
  -fill '#c9a227' -stroke '#6b5410' -strokewidth 3 -draw 'rectangle 8,34 56,62' \
  -fill '#a8861c' -draw 'rectangle 4,32 12,64' \
  -fill '#c46a2b' -stroke '#5e2e0c' -strokewidth 3 \
  -draw 'path "M 56,36 L 66,36 Q 88,40 92,48 Q 88,56 66,60 L 56,60 Z"' \
  png:- | finish 24x24 bullet.png

# Gun / scope: scope tube with bells and a turret.
"$CONVERT" -size 96x96 xc:none \
  -fill '#37474f' -stroke '#10171a' -strokewidth 3 \
  -draw 'rectangle 18,44 80,58' \
  -draw 'polygon 4,36 22,42 22,60 4,66' -draw 'polygon 92,40 76,44 76,58 92,62' \
  -draw 'rectangle 42,30 56,44' -draw 'rectangle 40,58 58,68' \
  -fill '#90caf9' -stroke none -draw 'rectangle 6,42 12,60' \
  png:- | finish 24x24 gun.png

# Input units: a yellow ruler with graduations.
"$CONVERT" -size 96x96 xc:none \
  -fill '#f2c94c' -stroke '#6b5410' -strokewidth 3 \
  -draw 'roundrectangle 6,30 90,66 6,6' \
  -stroke '#3b2f0a' -strokewidth 3 \
  -draw 'line 18,32 18,52' -draw 'line 30,32 30,44' -draw 'line 42,32 42,52' \
  -draw 'line 54,32 54,44' -draw 'line 66,32 66,52' -draw 'line 78,32 78,44' \
  png:- | finish 24x24 iu.png

# Output units: a scope reticle with MIL dots.
"$CONVERT" -size 96x96 xc:none \
  -fill white -stroke '#1f4e79' -strokewidth 6 -draw 'circle 48,48 48,8' \
  -stroke '#111111' -strokewidth 4 -draw 'line 48,12 48,84' -draw 'line 12,48 84,48' \
  -fill '#111111' -stroke none \
  -draw 'circle 48,30 48,34' -draw 'circle 48,66 48,70' \
  -draw 'circle 30,48 34,48' -draw 'circle 66,48 70,48' \
  -fill '#d32f2f' -draw 'circle 48,48 48,53' \
  png:- | finish 24x24 ou.png

# Profile: a sheet with a folded corner and text lines.
"$CONVERT" -size 96x96 xc:none \
  -fill white -stroke '#37474f' -strokewidth 4 \
  -draw 'polygon 18,6 62,6 80,24 80,90 18,90' \
  -fill '#cfd8dc' -draw 'polygon 62,6 62,24 80,24' \
  -stroke '#1f4e79' -strokewidth 5 \
  -draw 'line 28,38 70,38' -draw 'line 28,52 70,52' -draw 'line 28,66 70,66' -draw 'line 28,78 54,78' \
  png:- | finish 24x24 wprofile.png

# Transfer arrows, 32x32: to the device (right) and to the PC (left).
arrow() { # fill, edge, points, file
  "$CONVERT" -size 128x128 xc:none \
    -fill "$1" -stroke "$2" -strokewidth 5 -draw "polygon $3" \
    png:- | finish 32x32 "$4"
}
arrow '#2e9d32' '#0b4d0f' '10,46 70,46 70,18 120,64 70,110 70,82 10,82' td.png
arrow '#1e6fc2' '#0b3261' '118,46 58,46 58,18 8,64 58,110 58,82 118,82' tc.png

echo "pictures written to $out"
