#!/usr/bin/env bash
# stowline-cli's show and export over 8,192 profiles against a bare read of
# the same files.
#   bench/run_cli.sh [RUNS] [--profiles N]   (default 21 runs, 8192 profiles)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-bench"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSTOWLINE_TESTS=OFF >/dev/null
ninja -C "$build" -j2 bench_cli >/dev/null
"$build/bench/bench_cli" "$@"
