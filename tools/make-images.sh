#!/usr/bin/env bash
# Regenerates the window's bundled images (background, download animation,
# cursor and window icon) using ImageMagick's `convert` and system fonts
# (fonts-dejavu-core, fonts-wqy-zenhei). Output: src/window/images/.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
out="$here/../src/window/images"
mkdir -p "$out"
out="$(cd "$out" && pwd)"

command -v convert >/dev/null || { echo "ImageMagick 'convert' not found" >&2; exit 1; }

# Resolve a font file through fontconfig, falling back to a plain name.
font_file() {
    local f=""
    if command -v fc-match >/dev/null; then
        f="$(fc-match -f '%{file}' "$1" 2>/dev/null || true)"
    fi
    if [[ -n "$f" && -r "$f" ]]; then printf '%s' "$f"; else printf '%s' "$2"; fi
}
LATIN_BOLD="$(font_file 'DejaVu Sans:style=Bold' 'DejaVu-Sans-Bold')"
CJK="$(font_file 'WenQuanYi Zen Hei' 'WenQuanYi-Zen-Hei')"

ORANGE='#F08000'
PEACH='#FDE9D9'
RULE='#E2E2E2'
BORDER='#9AA8B8'

# Keep PNG output free of timestamps so reruns give identical bytes.
PNG_OPTS=(-define png:exclude-chunks=date,time,tIME)

# ---------------------------------------------------------------- background
# 500x350 page: logo (x 4..145, y 4..57), tab (172..230, 14..27), search
# field (170..397, 28..54) whose inner input area (184..393, 35..49) stays
# white, orange button (400..489, 28..53), peach band (y 60..80), white below.
convert -size 500x350 xc:white \
    \( -size 142x54 xc:none \
       -fill '#2F6FC9' -draw 'roundrectangle 2,6 45,49 9,9' \
       -fill '#FFFFFF' -draw 'polygon 16,16 16,39 36,27.5' \
       -fill '#F08000' -draw 'rectangle 10,41 37,44' \
       -font "$LATIN_BOLD" -pointsize 20 -fill '#1F3F7A' \
       -draw "text 50,35 'Ondrix'" \
    \) -geometry +4+4 -composite \
    \( -size 59x18 xc:none \
       -fill "$ORANGE" -draw 'roundrectangle 0,0 58,17 3,3' \
       -font "$CJK" -pointsize 12 -fill white \
       -gravity north -annotate +0+0 '资源' -gravity northwest \
    \) -geometry +172+14 -composite \
    -fill "$BORDER" -draw 'rectangle 170,28 397,54' \
    -fill white     -draw 'rectangle 171,29 396,53' \
    -fill none -stroke '#707070' -strokewidth 1.6 \
    -draw 'circle 176.5,40.5 176.5,37' \
    -draw 'line 179,43 181.5,46.5' \
    -stroke none \
    \( -size 90x26 xc:none \
       -fill "$ORANGE" -draw 'roundrectangle 0,0 89,25 5,5' \
       -font "$CJK" -pointsize 14 -fill white \
       -gravity center -annotate +0+0 '搜 索' -gravity northwest \
    \) -geometry +400+28 -composite \
    -fill "$PEACH" -draw 'rectangle 0,60 499,80' \
    -fill "$RULE" -draw 'rectangle 4,82 495,82' \
    -fill "$RULE" -draw 'rectangle 4,328 495,328' \
    -strip -colorspace sRGB -type TrueColor -sampling-factor 1x1 \
    -interlace none -quality 90 \
    "$out/background.jpg"

# ------------------------------------------------------------- download.gif
# 14x14, two frames (0.3 s each, looping): green arrow drops into a blue tray.
arrow() { # $1 = vertical offset of the arrow
    local d=$1
    printf 'rectangle 5,%d 8,%d ' $((0 + d)) $((3 + d))
    printf 'polygon 2,%d 11,%d 6.5,%d' $((4 + d)) $((4 + d)) $((8 + d))
}
tray='polygon 0,8 2,8 2,11 11,11 11,8 13,8 13,13 0,13'
frame() {
    convert -size 14x14 xc:none +antialias \
        -fill '#8EC8F0' -stroke '#4A90C8' -strokewidth 1 -draw "$tray" \
        -stroke none -fill '#2FA52F' -draw "$(arrow "$1")" \
        "$2"
}
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
frame 0 "$tmp/f1.png"
frame 2 "$tmp/f2.png"
convert -dispose Background -delay 30 "$tmp/f1.png" "$tmp/f2.png" \
    -loop 0 -strip "$out/download.gif"

# ------------------------------------------------------------------ hand.png
# 32x32 pointing hand, index finger up, finger tip at pixel (12,1).
convert -size 32x32 xc:none +antialias \
    -stroke black -strokewidth 1 -fill white \
    -draw 'polygon 11,1 13,1 14,2 14,11 15,10 17,10 18,11 19,11 21,11 22,12
           23,12 24,13 25,14 25,22 24,24 11,24 10,22 10,19 7,17 5,15 5,14
           6,13 7,13 10,15 10,2' \
    -fill none \
    -draw 'line 18,12 18,15' \
    -draw 'line 22,13 22,15' \
    -draw 'line 14,12 14,15' \
    -fill '#2F6FD0' -draw 'rectangle 11,24 24,30' \
    -stroke '#9CC2F5' -draw 'line 12,26 23,26' \
    -strip -colors 16 "${PNG_OPTS[@]}" "PNG8:$out/hand.png"

# ------------------------------------------------------------------ icon.png
# 32x32 cartoon figure: round face, eyes, smile, body.
convert -size 32x32 xc:none +antialias \
    -stroke '#1E3F7A' -strokewidth 1 \
    -fill '#2F6FC9' -draw 'roundrectangle 7,20 24,31 5,5' \
    -fill '#F08000' -draw 'rectangle 14,21 17,31' \
    -fill '#FFD8A8' -stroke '#7A4A1E' -draw 'circle 15.5,11 15.5,2' \
    -stroke none -fill '#2A1A0A' \
    -draw 'rectangle 11,8 12,10' -draw 'rectangle 19,8 20,10' \
    -fill '#F4A0A0' -draw 'rectangle 9,12 10,13' -draw 'rectangle 21,12 22,13' \
    -fill none -stroke '#8A2A10' -draw 'arc 11,10 20,17 20,160' \
    -strip -colors 16 "${PNG_OPTS[@]}" "PNG8:$out/icon.png"

echo "wrote: $(cd "$out" && ls background.jpg download.gif hand.png icon.png | tr '\n' ' ')"
