#!/usr/bin/env bash
# Installs what is needed, builds, starts the demo site on loopback and opens
# the program, whose built-in addresses point at the demo site.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/tools/install-deps.sh"
"$top/tools/build.sh"

# Under sudo the site and the window run as the user who asked, so downloads
# land in that user's folder and the engine keeps its sandbox.
as_user=()
if [ "$(id -u)" -eq 0 ] && [ -n "${SUDO_USER:-}" ] && [ "$SUDO_USER" != root ]; then
    # sudo keeps the display but not the login's runtime folder and session
    # bus (notifications, the file manager): found where the login made them.
    # (sudo -E passes the user's own on; sudo -i sets root's, which are not.)
    uid=$(id -u "$SUDO_USER")
    session=()
    for runtime in "${XDG_RUNTIME_DIR:-}" "/run/user/$uid"; do
        [ -n "$runtime" ] && [ -d "$runtime" ] && [ "$(stat -c %u "$runtime")" = "$uid" ] || continue
        session+=("XDG_RUNTIME_DIR=$runtime")
        if [ "$runtime" = "${XDG_RUNTIME_DIR:-}" ] && [ -n "${DBUS_SESSION_BUS_ADDRESS:-}" ]; then
            session+=("DBUS_SESSION_BUS_ADDRESS=$DBUS_SESSION_BUS_ADDRESS")
        elif [ -S "$runtime/bus" ]; then
            session+=("DBUS_SESSION_BUS_ADDRESS=unix:path=$runtime/bus")
        fi
        break
    done
    as_user=(sudo -u "$SUDO_USER" -H --preserve-env=DISPLAY,XAUTHORITY,WAYLAND_DISPLAY env "${session[@]}")
elif [ "$(id -u)" -eq 0 ]; then
    # The engine's sandbox cannot run as root.
    export QTWEBENGINE_DISABLE_SANDBOX=1
fi

"${as_user[@]}" "$top/build/demo-site/ondrix-demo-site" --site-port 8365 --home-port 8366 "$@" 2>/dev/null &
site=$!
trap 'kill $site 2>/dev/null || true' EXIT
"${as_user[@]}" "$top/build/src/startup/ondrix"
