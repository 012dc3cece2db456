#!/usr/bin/env bash
# Builds the soak program and runs it headless: tools/soak.sh [rounds] (500).
# Fails when a round goes wrong or memory grows 10 % or more over the second half.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
rounds=${1:-500}
if [ ! -f "$top/build/CMakeCache.txt" ]; then
    cmake -S "$top" -B "$top/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$top/build" -j"$(nproc)" --target ondrix-soak
export QT_QPA_PLATFORM=offscreen QTWEBENGINE_DISABLE_SANDBOX=1 LC_ALL=C.UTF-8
export QTWEBENGINE_CHROMIUM_FLAGS="${QTWEBENGINE_CHROMIUM_FLAGS:---disable-gpu}"
exec "$top/build/bench/ondrix-soak" --rounds "$rounds"
