#!/usr/bin/env bash
# Send Profiles and Get Profiles of the program against the simulated meters
# (bytes paced at the device's baud, real time), beside a floor program that
# does only what the protocol forces, interleaved; medians over RUNS runs
# (default 5) in seconds per profile. Options after RUNS go to the program:
#   bench/run_transfers.sh [RUNS] [--profiles N] [--pc N] [--only m600|cv-relay|m900] [--drain-poll]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-5}
shift || true
build="$root/build-bench"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSTOWLINE_TESTS=OFF >/dev/null
ninja -C "$build" -j2 bench_transfers >/dev/null
xvfb-run -a -s "-screen 0 1280x1024x24" "$build/bench/bench_transfers" "$runs" --images "$root/images" "$@"
