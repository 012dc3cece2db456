#!/usr/bin/env bash
# Regenerates the window's bundled images (background, download animation,
# cursor and window icon) using ImageMagick's `convert` and system fonts
# (fonts-dejavu-core, fonts-wqy-zenhei), each drawn at 1x and at 2x (Qt's
# "@2x" names), and the desktop icon set from data/icons/ondrix.svg with
# rsvg-convert (librsvg2-bin). Output: src/window/images/, data/icons/.
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

# Coordinates are written for 1x, where a whole number is a pixel's centre.
# At scale S a point c is drawn at S*c + (S-1)/2, so every 1x pixel becomes an
# SxS block and shapes are drawn afresh at the higher resolution, not enlarged.
pts() { # "x,y x,y ...": points
    tr '\n' ' ' <<<"$1" | awk -v s="$S" '{
        for (i = 1; i <= NF; i++) { split($i, a, ","); printf "%s%g,%g", (i > 1 ? " " : ""), a[1] * s + (s - 1) / 2, a[2] * s + (s - 1) / 2 }
    }'
}
box() { # x1 y1 x2 y2: the corner pixels of a filled block, both included
    printf '%d,%d %d,%d' $(($1 * S)) $(($2 * S)) $(($3 * S + S - 1)) $(($4 * S + S - 1))
}
n() { awk -v s="$S" -v v="$1" 'BEGIN { printf "%g", v * s }'; } # a length
at() { printf '+%d+%d' $(($1 * S)) $(($2 * S)); }                # an offset
size() { printf '%dx%d' $(($1 * S)) $(($2 * S)); }

draw_images() { # $1 = scale, $2 = name suffix ("" or "@2x")
S=$1
local x=$2

# ---------------------------------------------------------------- background
# 500x350 page: logo (x 4..145, y 4..57), tab (172..230, 14..27), search
# field (170..397, 28..54) whose inner input area (184..393, 35..49) stays
# white, orange button (400..489, 28..53), peach band (y 60..80), white below.
convert -size "$(size 500 350)" xc:white \
    \( -size "$(size 142 54)" xc:none \
       -fill '#2F6FC9' -draw "roundrectangle $(box 2 6 45 49) $(n 9),$(n 9)" \
       -fill '#FFFFFF' -draw "polygon $(pts '16,16 16,39 36,27.5')" \
       -fill '#F08000' -draw "rectangle $(box 10 41 37 44)" \
       -font "$LATIN_BOLD" -pointsize "$(n 20)" -fill '#1F3F7A' \
       -draw "text $(n 50),$(n 35) 'Ondrix'" \
    \) -geometry "$(at 4 4)" -composite \
    \( -size "$(size 59 18)" xc:none \
       -fill "$ORANGE" -draw "roundrectangle $(box 0 0 58 17) $(n 3),$(n 3)" \
       -font "$CJK" -pointsize "$(n 12)" -fill white \
       -gravity north -annotate +0+0 '资源' -gravity northwest \
    \) -geometry "$(at 172 14)" -composite \
    -fill "$BORDER" -draw "rectangle $(box 170 28 397 54)" \
    -fill white     -draw "rectangle $(box 171 29 396 53)" \
    -fill none -stroke '#707070' -strokewidth "$(n 1.6)" \
    -draw "circle $(pts '176.5,40.5 176.5,37')" \
    -draw "line $(pts '179,43 181.5,46.5')" \
    -stroke none \
    \( -size "$(size 90 26)" xc:none \
       -fill "$ORANGE" -draw "roundrectangle $(box 0 0 89 25) $(n 5),$(n 5)" \
       -font "$CJK" -pointsize "$(n 14)" -fill white \
       -gravity center -annotate +0+0 '搜 索' -gravity northwest \
    \) -geometry "$(at 400 28)" -composite \
    -fill "$PEACH" -draw "rectangle $(box 0 60 499 80)" \
    -fill "$RULE" -draw "rectangle $(box 4 82 495 82)" \
    -fill "$RULE" -draw "rectangle $(box 4 328 495 328)" \
    -strip -colorspace sRGB -type TrueColor -sampling-factor 1x1 \
    -interlace none -quality 90 \
    "$out/background$x.jpg"

# ------------------------------------------------------------- download.gif
# 14x14, two frames (0.3 s each, looping): green arrow drops into a blue tray.
arrow() { # $1 = vertical offset of the arrow
    local d=$1
    printf 'rectangle %s ' "$(box 5 $((0 + d)) 8 $((3 + d)))"
    printf 'polygon %s' "$(pts "2,$((4 + d)) 11,$((4 + d)) 6.5,$((8 + d))")"
}
tray="polygon $(pts '0,8 2,8 2,11 11,11 11,8 13,8 13,13 0,13')"
frame() {
    convert -size "$(size 14 14)" xc:none +antialias \
        -fill '#8EC8F0' -stroke '#4A90C8' -strokewidth "$(n 1)" -draw "$tray" \
        -stroke none -fill '#2FA52F' -draw "$(arrow "$1")" \
        "$2"
}
frame 0 "$tmp/f1.png"
frame 2 "$tmp/f2.png"
convert -dispose Background -delay 30 "$tmp/f1.png" "$tmp/f2.png" \
    -loop 0 -strip "$out/download$x.gif"

# ------------------------------------------------------------------ hand.png
# 32x32 pointing hand, index finger up, finger tip at pixel (12,1): the
# cursor's hot spot, (24,2) at 2x.
convert -size "$(size 32 32)" xc:none +antialias \
    -stroke black -strokewidth "$(n 1)" -fill white \
    -draw "polygon $(pts '11,1 13,1 14,2 14,11 15,10 17,10 18,11 19,11 21,11 22,12
           23,12 24,13 25,14 25,22 24,24 11,24 10,22 10,19 7,17 5,15 5,14
           6,13 7,13 10,15 10,2')" \
    -fill none \
    -draw "line $(pts '18,12 18,15')" \
    -draw "line $(pts '22,13 22,15')" \
    -draw "line $(pts '14,12 14,15')" \
    -fill '#2F6FD0' -draw "rectangle $(box 11 24 24 30)" \
    -stroke '#9CC2F5' -draw "line $(pts '12,26 23,26')" \
    -strip -colors 16 "${PNG_OPTS[@]}" "PNG8:$out/hand$x.png"

# ------------------------------------------------------------------ icon.png
# 32x32 cartoon figure: round face, eyes, smile, body.
convert -size "$(size 32 32)" xc:none +antialias \
    -stroke '#1E3F7A' -strokewidth "$(n 1)" \
    -fill '#2F6FC9' -draw "roundrectangle $(box 7 20 24 31) $(n 5),$(n 5)" \
    -fill '#F08000' -draw "rectangle $(box 14 21 17 31)" \
    -fill '#FFD8A8' -stroke '#7A4A1E' -draw "circle $(pts '15.5,11 15.5,2')" \
    -stroke none -fill '#2A1A0A' \
    -draw "rectangle $(box 11 8 12 10)" -draw "rectangle $(box 19 8 20 10)" \
    -fill '#F4A0A0' -draw "rectangle $(box 9 12 10 13)" -draw "rectangle $(box 21 12 22 13)" \
    -fill none -stroke '#8A2A10' -draw "arc $(pts '11,10 20,17') 20,160" \
    -strip -colors 16 "${PNG_OPTS[@]}" "PNG8:$out/icon$x.png"
}

tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
draw_images 1 ""
draw_images 2 "@2x"

# ------------------------------------------------------------ desktop icons
# The same figure as a scalable drawing, rendered at every size a desktop asks.
icons="$here/../data/icons"
if command -v rsvg-convert >/dev/null; then
    for px in 16 22 24 32 48 64 128 256; do
        mkdir -p "$icons/${px}x${px}"
        rsvg-convert -w "$px" -h "$px" "$icons/ondrix.svg" -o "$tmp/icon.png"
        convert "$tmp/icon.png" -strip "${PNG_OPTS[@]}" "$icons/${px}x${px}/ondrix.png"
    done
else
    echo "rsvg-convert not found: desktop icons left as they are" >&2
fi

echo "wrote: $(cd "$out" && ls background*.jpg download*.gif hand*.png icon*.png | tr '\n' ' ')"
