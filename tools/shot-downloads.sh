#!/usr/bin/env bash
# Takes docs/downloads.png and docs/download-list.png (the whole 1280×800
# screen: the main window centred, the list beside it) under Xvfb with a
# window manager (openbox), from build/tools/shot_downloads.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
export QTWEBENGINE_DISABLE_SANDBOX=1 QTWEBENGINE_CHROMIUM_FLAGS="--disable-gpu --no-sandbox" LC_ALL=C.UTF-8
xvfb-run -a -s "-screen 0 1280x800x24" sh -c \
    'openbox & sleep 1; "$0/build/tools/shot_downloads" "$0/docs/downloads.png" "$0/docs/download-list.png"; rc=$?; kill $! 2>/dev/null; exit $rc' "$top"
