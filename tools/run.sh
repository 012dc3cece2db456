#!/usr/bin/env bash
# Installs what is needed, builds, starts the demo site on loopback and opens
# the program, whose built-in addresses point at the demo site.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/tools/install-deps.sh"
"$top/tools/build.sh"
"$top/build/demo-site/ondrix-demo-site" --site-port 8365 --home-port 8366 "$@" 2>/dev/null &
site=$!
trap 'kill $site 2>/dev/null || true' EXIT
# The engine's sandbox cannot run as root.
[ "$(id -u)" -eq 0 ] && export QTWEBENGINE_DISABLE_SANDBOX=1
"$top/build/src/startup/ondrix"
