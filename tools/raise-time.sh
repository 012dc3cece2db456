#!/usr/bin/env bash
# Measures a second start: under Xvfb and openbox the window is started and
# covered by another window, then `ondrix` is started again, three times.
# Prints when the first window became the active one and when the second
# process ended. Needs xvfb, openbox, x11-utils; build/ must be built.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1280x900x24" "$0" "$@"
fi
export QT_QPA_PLATFORM=xcb
. "$top/tools/x-session.sh"
sleep 0.5
"$top/build/src/startup/ondrix" >/dev/null 2>&1 &
pids+=($!)
wait_for_window
sleep 2
xmessage -geometry 1200x850+0+0 "covering the window" 2>/dev/null &
pids+=($!)
sleep 1
active() { printf '0x%x' "$(xprop -root _NET_ACTIVE_WINDOW | awk '{ print $NF }')"; }
echo "active before: $(active) (window $window)"
for run in 1 2 3; do
    start=$(date +%s%N)
    "$top/build/src/startup/ondrix" &
    second=$!
    until [ "$(active)" = "$window" ]; do sleep 0.005; done
    raised=$(date +%s%N)
    wait "$second"
    end=$(date +%s%N)
    echo "second start $run: window active after $(((raised - start) / 1000000)) ms, second process ended after $(((end - start) / 1000000)) ms"
    xmessage -geometry 1200x850+0+0 "covering again" 2>/dev/null &
    pids+=($!)
    sleep 1
    [ "$(active)" != "$window" ] || { echo "the window was not covered" >&2; exit 1; }
done
