#!/usr/bin/env bash
# Runs tests/desktop/screen_reader.py as a person with a screen reader runs
# the program: a display with a window manager, a session bus with the
# accessibility bus up and a screen reader announced on it before the
# program starts, a home of its own, and a logging stand-in for xdg-open.
# The program's built-in addresses are on loopback: a private network keeps
# them free for the demo site.
# Usage: reader-session.sh ONDRIX DEMO_SITE SITE_BASE HOME_PAGE
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/own-namespace.sh"
if [ -z "${ONDRIX_WORK:-}" ]; then
    # The whole desktop lives in a folder of its own, made before any daemon
    # starts: the bus launchers read HOME's settings, and the caller's must
    # be neither read nor written (a screen reader turned on there would
    # start at their next login).
    ip link set lo up
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    export ONDRIX_WORK=$work HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" \
        XDG_DATA_HOME="$work/home/.local/share" XDG_CACHE_HOME="$work/home/.cache" \
        XDG_RUNTIME_DIR="$work/run" GSETTINGS_BACKEND=dconf QTWEBENGINE_DISABLE_SANDBOX=1
    mkdir -p "$XDG_CONFIG_HOME/dconf" "$XDG_DATA_HOME" "$XDG_CACHE_HOME" "$XDG_RUNTIME_DIR" "$work/bin" "$work/dconf.d"
    chmod 700 "$XDG_RUNTIME_DIR"
    # As a desktop with a screen reader has it: accessibility on for the
    # toolkits, and a screen reader enabled.
    printf '[org/gnome/desktop/interface]\ntoolkit-accessibility=true\n\n[org/gnome/desktop/a11y/applications]\nscreen-reader-enabled=true\n' \
        > "$work/dconf.d/00-reader"
    dconf compile "$XDG_CONFIG_HOME/dconf/user" "$work/dconf.d"
    printf '#!/bin/sh\necho "$@" >> "%s/xdg-open.log"\n' "$work" > "$work/bin/xdg-open"
    chmod +x "$work/bin/xdg-open"
    export PATH="$work/bin:$PATH"
    # Not exec: the folder goes when the session ends.
    xvfb-run -a -s "-screen 0 1280x800x24" dbus-run-session -- "$0" "$@"
    exit
fi
trap 'kill $(jobs -p) 2>/dev/null || true; wait' EXIT
unset QT_QPA_PLATFORM QT_LINUX_ACCESSIBILITY_ALWAYS_ON
openbox >/dev/null 2>&1 &
# The accessibility bus starts on the first call, as on a desktop; the
# program starts once its registry answers.
gdbus wait --session --activate org.a11y.Bus --timeout 60 org.a11y.Bus
address=$(gdbus call --session --dest org.a11y.Bus --object-path /org/a11y/bus --method org.a11y.Bus.GetAddress)
address=${address#(\'}
address=${address%\',)}
gdbus wait --address "$address" --activate org.a11y.atspi.Registry --timeout 60 org.a11y.atspi.Registry
/usr/bin/python3 "$here/screen_reader.py" "$@"
