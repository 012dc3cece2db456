#!/usr/bin/env bash
# Builds build-asan/ with AddressSanitizer and UndefinedBehaviorSanitizer
# (ONDRIX_SANITIZE) and runs every test there. Extra arguments go to ctest.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build="$top/build-asan"

# Leaks are checked at exit of every instrumented process (tests, demo site,
# the build-time scrambler). malloc_context_size=3 keeps allocation stacks to
# the allocating function and its caller: that is what lets tools/lsan.supp
# name the engine's module without hiding our own allocations made inside
# its callbacks. For a use-after-free, rerun with a larger value for the full
# allocation stack, e.g. ONDRIX_ASAN_EXTRA=malloc_context_size=30.
# new_delete_type_mismatch=0: Chromium in Qt WebEngine frees objects with a
# sized delete of another size (the report's frames are all inside
# libQt6WebEngineCore), which ASan cannot suppress per library.
export ASAN_OPTIONS="detect_leaks=1:halt_on_error=1:print_stacktrace=1:malloc_context_size=3:new_delete_type_mismatch=0:check_initialization_order=1${ONDRIX_ASAN_EXTRA:+:$ONDRIX_ASAN_EXTRA}"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export LSAN_OPTIONS="suppressions=$top/tools/lsan.supp:print_suppressions=0"

cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DONDRIX_SANITIZE=ON -DONDRIX_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j"$(nproc)"

export QT_QPA_PLATFORM=offscreen QTWEBENGINE_DISABLE_SANDBOX=1
cd "$build"
ctest --output-on-failure --timeout 900 "$@"
