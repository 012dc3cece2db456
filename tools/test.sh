#!/usr/bin/env bash
# Installs what is needed, checks the formatting, builds with warnings as
# errors, and runs every test headless: the normal build first, then the
# package checks, then the tests again under the sanitizers.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/tools/install-deps.sh"

part() { # name command...: runs it and says how long it took
    local name=$1 start=$SECONDS
    shift
    "$@"
    echo "== $name: $((SECONDS - start)) s"
}

# Formatting with Debian's clang-format (.clang-format); a difference fails.
# ONDRIX_FORMAT_CHECK=0 skips it for one run.
format_check=${ONDRIX_FORMAT_CHECK:-1}
if [ "$format_check" = 1 ]; then
    part format "$top/tools/format-check.sh"
fi
part build "$top/tools/build.sh" -DONDRIX_WERROR=ON
export QT_QPA_PLATFORM=offscreen QTWEBENGINE_DISABLE_SANDBOX=1
part tests bash -c 'cd "$1/build" && ctest --output-on-failure --timeout 600' _ "$top"
# The stored addresses of a second build, configured with other ones.
part "other addresses" "$top/tools/other-addresses.sh" "$top"
# The two Debian packages, made from build/ and checked (tools/package-check.sh).
part packages "$top/tools/package-check.sh"
part sanitizers "$top/tools/sanitize.sh"
# A minute of fuzzing per target; tools/fuzz.sh N runs them longer.
part fuzzers "$top/tools/fuzz.sh" 60
