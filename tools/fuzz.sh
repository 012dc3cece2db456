#!/usr/bin/env bash
# Builds the libFuzzer targets in fuzz/ with clang into build-fuzz/, runs each
# for the given seconds (default 60) on a scratch copy of its seed corpus, then
# replays every saved input in fuzz/regressions/<target>/ once. One summary
# line per target; exits non-zero on any crash, leak, timeout or sanitizer
# report (the input is kept under build-fuzz/run/<target>/artifacts/).
set -euo pipefail

seconds=${1:-60}
if ! [[ $seconds =~ ^[0-9]+$ ]] || ((seconds < 1)); then
    echo "usage: $0 [seconds-per-target]" >&2
    exit 2
fi

top=$(cd "$(dirname "$0")/.." && pwd)
build="$top/build-fuzz"
targets=(fuzz_scan fuzz_htmtotxt)
# Shared by every run, so a replayed regression fails exactly as it did while
# fuzzing. A megabyte input must finish within a second.
common=(-timeout=1 -rss_limit_mb=2048 -max_len=1048576)

# clang and its fuzzer runtime; the main build does not need them.
missing=()
command -v clang++ >/dev/null 2>&1 || missing+=(clang)
dpkg-query -W -f='${Status}' libclang-rt-14-dev 2>/dev/null | grep -q 'ok installed' || missing+=(libclang-rt-14-dev)
if ((${#missing[@]})); then
    sudo=()
    ((EUID == 0)) || sudo=(sudo)
    echo "fuzz: installing ${missing[*]}"
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq >/dev/null
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
fi

generator=()
command -v ninja >/dev/null 2>&1 && [[ ! -f $build/CMakeCache.txt ]] && generator=(-G Ninja)
mkdir -p "$build"
if ! { cmake -S "$top/fuzz" -B "$build" "${generator[@]}" -DCMAKE_CXX_COMPILER=clang++ &&
       cmake --build "$build" -j2; } >"$build/build.log" 2>&1; then
    tail -n 40 "$build/build.log" >&2
    echo "fuzz: build failed (full log: $build/build.log)" >&2
    exit 1
fi

dictionary() {
    case $1 in
    fuzz_scan | fuzz_htmtotxt) echo "-dict=$top/fuzz/scan.dict" ;;
    esac
}

stat() { sed -n "s/^stat::$1: *//p" "$2" | tail -n 1; }

failed=0
for target in "${targets[@]}"; do
    run="$build/run/$target"
    rm -rf "$run"
    mkdir -p "$run/corpus" "$run/artifacts"
    if [[ -d $top/fuzz/corpus/$target ]]; then
        cp -R "$top/fuzz/corpus/$target/." "$run/corpus/"
    fi
    log="$run/fuzz.log"
    status=0
    # shellcheck disable=SC2046
    "$build/$target" "${common[@]}" $(dictionary "$target") -max_total_time="$seconds" \
        -print_final_stats=1 -artifact_prefix="$run/artifacts/" "$run/corpus" >"$log" 2>&1 || status=$?
    execs=$(stat number_of_executed_units "$log")
    rate=$(stat average_exec_per_sec "$log")
    found=$(find "$run/artifacts" -type f | head -n 1)
    if ((status != 0)) || [[ -n $found ]]; then
        failed=1
        echo "fuzz: $target FAILED after ${execs:-?} executions (exit $status)"
        grep -m 3 -E '^(==[0-9]+== ?ERROR|SUMMARY|.*invariant failed|.*runtime error)' "$log" | sed 's/^/  /' || true
        [[ -n $found ]] && echo "  input: $found"
        echo "  log: $log"
    else
        echo "fuzz: $target ok: ${execs:-?} executions, ${rate:-?} exec/s, ${seconds}s, corpus $(find "$run/corpus" -type f | wc -l) inputs"
    fi

    if [[ -d $top/fuzz/regressions/$target ]]; then
        while IFS= read -r -d '' input; do
            relog="$run/regression-$(basename "$input").log"
            if ! "$build/$target" "${common[@]}" "$input" >"$relog" 2>&1; then
                failed=1
                echo "fuzz: $target regression FAILED: ${input#"$top"/}"
                grep -m 3 -E '^(==[0-9]+== ?ERROR|SUMMARY|.*invariant failed|.*runtime error)' "$relog" | sed 's/^/  /' || true
                echo "  log: $relog"
            fi
        done < <(find "$top/fuzz/regressions/$target" -type f -print0 | sort -z)
    fi
done
exit "$failed"
