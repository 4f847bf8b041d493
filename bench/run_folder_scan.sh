#!/usr/bin/env bash
# PC list scan of 8,192 profiles against a bare directory read and sort, and
# the cost of the transfer pump with that folder.
#   bench/run_folder_scan.sh [RUNS]   (default 21)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-21}
build="$root/build-bench"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSTOWLINE_TESTS=OFF >/dev/null
ninja -C "$build" -j2 bench_folder_scan >/dev/null
xvfb-run -a -s "-screen 0 1280x1024x24" "$build/bench/bench_folder_scan" "$runs" | grep -v -e '^String with' -e '^Creating PC'
