#!/usr/bin/env bash
# Builds build/ with the benchmarks, runs them all headless and ends with a
# short summary of the program's figures against their references. JSON
# results go to build/bench-results/.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/tools/build.sh" -DONDRIX_BUILD_BENCH=ON
bin="$top/build/bench"
out="$top/build/bench-results"
for b in bench_scan bench_search bench_startup bench_memory bench_download bench_clicks; do
    [ -x "$bin/$b" ] || { echo "$bin/$b was not built (Google Benchmark: libbenchmark-dev)" >&2; exit 1; }
done
mkdir -p "$out"
export QT_QPA_PLATFORM=offscreen QTWEBENGINE_DISABLE_SANDBOX=1 LC_ALL=C.UTF-8
export QTWEBENGINE_CHROMIUM_FLAGS="${QTWEBENGINE_CHROMIUM_FLAGS:---disable-gpu --no-sandbox}"

# Start-up and memory run the real start-up path, so the demo site must own
# the built-in ports; a private network namespace keeps a demo site that is
# already running (tools/run.sh) out of the way.
isolated() {
    if command -v ip >/dev/null && unshare --net --map-root-user true 2>/dev/null; then
        unshare --net --map-root-user sh -c 'ip link set lo up && exec "$@"' isolated "$@"
    else
        "$@"
    fi
}

run() { # name [wrapper...]
    local name=$1
    shift
    echo "== $name"
    "$@" "$bin/$name" --benchmark_out="$out/$name.json" --benchmark_out_format=json
}

start=$SECONDS
run bench_scan
run bench_search
run bench_startup isolated
run bench_memory isolated
run bench_download
run bench_clicks
echo "== all benchmarks: $((SECONDS - start)) s"

if ! command -v python3 >/dev/null; then
    echo "(python3 not found: no summary; see $out/*.json)"
    exit 0
fi
python3 - "$out" <<'PY'
import json, os, sys

out = sys.argv[1]
def bench(name, prefix):
    with open(os.path.join(out, name + ".json")) as f:
        for b in json.load(f)["benchmarks"]:
            if b["name"].startswith(prefix):
                return b
    raise SystemExit(f"{name}: no {prefix} result")

scan = bench("bench_scan", "BM_Scan/10000")
events = bench("bench_scan", "BM_ScanWithEvents/10000")
search = bench("bench_search", "BM_SearchLatency")
start = bench("bench_startup", "BM_StartUp")
mem = bench("bench_memory", "BM_Memory")
dl = bench("bench_download", "BM_Download")
clicks4 = bench("bench_clicks", "BM_ClicksInARow/4")
clicks10 = bench("bench_clicks", "BM_ClicksInARow/10")

rows = [
    ("scan, 10000 entries", f"{scan['real_time']:.0f} us",
     f"with events {events['real_time']:.0f} us", events["real_time"] / scan["real_time"]),
    ("search, Enter to rows", f"{search['program_ms']:.1f} ms",
     f"bare page load {search['engine_ms']:.1f} ms", search["program_ms"] / search["engine_ms"]),
    ("start-up to window shown", f"{start['program_shown_ms']:.1f} ms",
     f"bare ad page loaded {start['bare_loaded_ms']:.1f} ms", start["shown_vs_bare"]),
    ("start-up to ad page loaded", f"{start['program_ad_loaded_ms']:.1f} ms",
     f"bare ad page loaded {start['bare_loaded_ms']:.1f} ms", start["ad_loaded_vs_bare"]),
    ("start-up to ad titles in rows", f"{start['program_ad_ms']:.1f} ms",
     f"bare ad page loaded {start['bare_loaded_ms']:.1f} ms", start["ad_vs_bare"]),
    ("memory, 3 pages live, tree", f"{mem['program_live_MB']:.1f} MB",
     f"bare ad page {mem['bare_MB']:.1f} MB", mem["live_vs_bare"]),
    ("memory, 3 pages at rest, tree", f"{mem['program_MB']:.1f} MB",
     f"bare ad page {mem['bare_MB']:.1f} MB", mem["program_vs_bare"]),
    ("memory, 3 file pages live", f"{mem['three_live_MB']:.1f} MB",
     f"bare ad page {mem['bare_MB']:.1f} MB", mem["three_live_vs_bare"]),
    ("memory, 3 file pages done", f"{mem['three_done_MB']:.1f} MB",
     f"bare ad page {mem['bare_MB']:.1f} MB", mem["three_done_vs_bare"]),
    ("4 clicks in a row, all landed", f"{clicks4['all_landed_ms'] / 1000:.2f} s",
     f"4 x one click {clicks4['n_times_one_ms'] / 1000:.2f} s", clicks4["vs_n_times_one"]),
    ("10 clicks in a row, all landed", f"{clicks10['all_landed_ms'] / 1000:.2f} s",
     f"10 x one click {clicks10['n_times_one_ms'] / 1000:.2f} s", clicks10["vs_n_times_one"]),
    ("memory, private pages only", f"{mem['program_private_MB']:.1f} MB",
     f"bare ad page {mem['bare_private_MB']:.1f} MB", mem["private_vs_bare"]),
    ("download 256 MiB, vs bare engine", f"{dl['program_ms']:.0f} ms",
     f"bare engine {dl['bare_engine_ms']:.0f} ms", dl["program_vs_bare"]),
    ("download 256 MiB, vs curl", f"{dl['program_ms']:.0f} ms",
     f"curl {dl['curl_ms']:.0f} ms", dl["program_vs_curl"]),
]
print()
print(f"{'figure':32} {'program':>12}   {'reference':32} {'ratio':>6}")
for name, program, ref, ratio in rows:
    print(f"{name:32} {program:>12}   {ref:32} {ratio:6.2f}")
print("(start-up, search, memory: lower is better; download: higher is better, the bare time over the program's)")
PY
