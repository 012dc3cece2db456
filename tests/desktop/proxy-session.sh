#!/usr/bin/env bash
# Runs a test in a GNOME-like session of its own: a private network with
# the demo site's addresses off loopback (the engine never sends loopback
# through a proxy), a logging proxy on 127.0.0.1:3128, and a session bus
# whose dconf holds GNOME's proxy settings pointing at it.
# Usage: proxy-session.sh TEST [ARGS...]
set -euo pipefail
. "$(dirname "$0")/own-namespace.sh"
ip link set lo up
for host in 1 2 3; do ip addr add "10.77.0.$host/32" dev lo; done
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; wait; rm -rf "$work"' EXIT
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_RUNTIME_DIR="$work/run"
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
printf 'Port 3128\nListen 127.0.0.1\nTimeout 60\nLogFile "%s"\nLogLevel Connect\nMaxClients 50\nAllow 127.0.0.1\n' \
    "$work/proxy.log" > "$work/proxy.conf"
tinyproxy -d -c "$work/proxy.conf" >/dev/null 2>&1 &
export ONDRIX_PROXY_LOG="$work/proxy.log"
# libproxy reads GNOME's settings only in a GNOME session.
export XDG_CURRENT_DESKTOP=GNOME DESKTOP_SESSION=gnome GSETTINGS_BACKEND=dconf
unset http_proxy https_proxy all_proxy HTTP_PROXY HTTPS_PROXY ALL_PROXY no_proxy NO_PROXY
# Not exec: the proxy and the folder go when the test ends.
dbus-run-session -- "$@"
