#!/usr/bin/env bash
# Fails when a C++ file differs from what Debian's clang-format makes of it
# (.clang-format); prints the files and how to mend them. With --fix, formats
# them in place instead.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
format=$(command -v clang-format-14 || command -v clang-format || true)
if [ -z "$format" ]; then
    echo "format-check: clang-format is missing (apt-get install clang-format)" >&2
    exit 1
fi
mapfile -t files < <(git ls-files -- '*.cpp' '*.h')
if [ "${1:-}" = --fix ]; then
    "$format" -i -- "${files[@]}"
    exit 0
fi
bad=()
for f in "${files[@]}"; do
    if ! "$format" --dry-run --Werror -- "$f" >/dev/null 2>&1; then
        bad+=("$f")
    fi
done
if [ ${#bad[@]} -gt 0 ]; then
    printf 'format-check: not formatted: %s\n' "${bad[@]}" >&2
    echo "format-check: run tools/format-check.sh --fix" >&2
    exit 1
fi
echo "format-check: ${#files[@]} files formatted"
