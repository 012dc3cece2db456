#!/usr/bin/env bash
# Takes a screenshot of the window at start, under Xvfb with a window manager
# (openbox), at a display scale: tools/screenshot.sh 2 docs/window@2x.png
# Needs xvfb, openbox, x11-utils and ImageMagick; build/ must be built.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
scale=${1:-1}
out=$(realpath -m "${2:-$top/docs/window@${scale}x.png}")

if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1600x1000x24" "$0" "$scale" "$out"
fi

# A runtime directory of its own, so no other running copy is raised instead.
XDG_RUNTIME_DIR=$(mktemp -d)
export XDG_RUNTIME_DIR QTWEBENGINE_DISABLE_SANDBOX=1 QT_SCALE_FACTOR=$scale
pids=()
trap 'kill "${pids[@]}" 2>/dev/null || true; rm -rf "$XDG_RUNTIME_DIR"' EXIT
openbox >/dev/null 2>&1 &
pids+=($!)
"$top/build/demo-site/ondrix-demo-site" >/dev/null 2>&1 &
pids+=($!)
sleep 1
QT_QPA_PLATFORM=xcb "$top/build/src/startup/ondrix" >/dev/null 2>&1 &
pids+=($!)

# The window, once shown and its rows filled from the advertisement page.
window=""
for _ in $(seq 1 60); do
    window=$(xwininfo -root -tree | awk '/\("ondrix" "Ondrix"\)/ && !w { w = $1 } END { print w }')
    [ -n "$window" ] && break
    sleep 0.5
done
[ -n "$window" ] || { echo "the window did not appear" >&2; exit 1; }
sleep 3
import -window "$window" -strip "$out"
echo "wrote $out ($(identify -format '%wx%h' "$out"))"
