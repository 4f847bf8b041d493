#!/usr/bin/env bash
# Solution preview: chart drawing and redrawing, the solve behind an update,
# and an edit in the form until the preview shows it, medians of ROUNDS
# interleaved rounds (default 41) in the real window under Xvfb.
#   bench/run_preview.sh [ROUNDS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
rounds=${1:-41}
build="$root/build-bench"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSTOWLINE_TESTS=OFF >/dev/null
ninja -C "$build" -j2 bench_preview >/dev/null
xvfb-run -a -s "-screen 0 1280x1024x24" "$build/bench/bench_preview" "$rounds" 2>/dev/null | grep -v "^String with\|^Creating"
