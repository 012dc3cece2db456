#!/usr/bin/env bash
# Configures a second build with other addresses and checks that the program's
# stored texts descramble to them.
set -euo pipefail
src=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cmake -S "$src" -B "$dir" -DONDRIX_BUILD_BENCH=OFF -DONDRIX_SEED=3 \
    -DONDRIX_SITE_BASE=http://files.example.org:8080/base -DONDRIX_HOME_PAGE=https://home.example.net >/dev/null
cmake --build "$dir" --target tst_descramble -j2 >/dev/null
"$dir/tests/tst_descramble"
