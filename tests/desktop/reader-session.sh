#!/usr/bin/env bash
# Runs tests/desktop/screen_reader.py as a person with a screen reader runs
# the program: a display with a window manager, a session bus with the
# accessibility bus up and a screen reader announced on it before the
# program starts, a home of its own, and a logging stand-in for xdg-open.
# The program's built-in addresses are on loopback: a private network keeps
# them free for the demo site.
# Usage: reader-session.sh ONDRIX DEMO_SITE
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
if [ -z "${ONDRIX_IN_NAMESPACE:-}" ]; then
    export ONDRIX_IN_NAMESPACE=1
    exec unshare --net --map-root-user "$0" "$@"
fi
if [ -z "${DBUS_SESSION_BUS_ADDRESS:-}" ]; then
    ip link set lo up
    exec xvfb-run -a -s "-screen 0 1280x800x24" dbus-run-session -- "$0" "$@"
fi
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
export ONDRIX_WORK=$work HOME="$work/home" XDG_RUNTIME_DIR="$work/run" QTWEBENGINE_DISABLE_SANDBOX=1
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" "$work/bin" && chmod 700 "$XDG_RUNTIME_DIR"
printf '#!/bin/sh\necho "$@" >> "%s/xdg-open.log"\n' "$work" > "$work/bin/xdg-open"
chmod +x "$work/bin/xdg-open"
export PATH="$work/bin:$PATH"
unset QT_QPA_PLATFORM QT_LINUX_ACCESSIBILITY_ALWAYS_ON
openbox >/dev/null 2>&1 &
# The bus starts on the first call, as on a desktop; then what Orca does
# when it starts: the toolkits make their trees for it.
for property in IsEnabled ScreenReaderEnabled; do
    for _ in $(seq 1 50); do
        dbus-send --session --dest=org.a11y.Bus /org/a11y/bus org.freedesktop.DBus.Properties.Set \
            string:org.a11y.Status string:$property variant:boolean:true 2>/dev/null && break
        sleep 0.1
    done
done
exec /usr/bin/python3 "$here/screen_reader.py" "$@"
