#!/usr/bin/env bash
# Takes a screenshot of the window at start, under Xvfb with a window manager
# (openbox), at a display scale: tools/screenshot.sh 2 docs/window@2x.png
# With a keyword, after searching for it: tools/screenshot.sh 1 docs/x.png zzzz
# Needs xvfb, openbox, x11-utils, ImageMagick (and xdotool for a keyword);
# build/ must be built.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
scale=${1:-1}
out=$(realpath -m "${2:-$top/docs/window@${scale}x.png}")
keyword=${3:-}

if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1600x1000x24" "$0" "$scale" "$out" "$keyword"
fi

export QT_SCALE_FACTOR=$scale
. "$top/tools/x-session.sh"
"$top/build/demo-site/ondrix-demo-site" >/dev/null 2>&1 &
pids+=($!)
sleep 1
QT_QPA_PLATFORM=xcb "$top/build/src/startup/ondrix" >/dev/null 2>&1 &
pids+=($!)

# The window, once shown and its rows filled from the advertisement page.
wait_for_window
sleep 3
if [ -n "$keyword" ]; then
    # The keyword box has the focus when the window opens.
    xdotool windowactivate --sync "$window" type --delay 50 "$keyword"
    xdotool key Return
    sleep 3
fi
import -window "$window" -strip "$out"
echo "wrote $out ($(identify -format '%wx%h' "$out"))"
