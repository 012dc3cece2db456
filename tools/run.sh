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
    as_user=(sudo -u "$SUDO_USER" -H --preserve-env=DISPLAY,XAUTHORITY,WAYLAND_DISPLAY,XDG_RUNTIME_DIR)
elif [ "$(id -u)" -eq 0 ]; then
    # The engine's sandbox cannot run as root.
    export QTWEBENGINE_DISABLE_SANDBOX=1
fi

"${as_user[@]}" "$top/build/demo-site/ondrix-demo-site" --site-port 8365 --home-port 8366 "$@" 2>/dev/null &
site=$!
trap 'kill $site 2>/dev/null || true' EXIT
"${as_user[@]}" "$top/build/src/startup/ondrix"
