#!/usr/bin/env bash
# Solving 2,000-yd tables against one bare trajectory, interleaved.
#   bench/run_solver.sh [RUNS]   (default 201)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-201}
build="$root/build-bench"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSTOWLINE_TESTS=OFF >/dev/null
ninja -C "$build" -j2 bench_solver >/dev/null
"$build/bench/bench_solver" "$runs"
