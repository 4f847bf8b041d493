#!/usr/bin/env bash
# stowline-cli send and get against the simulated meters (bytes paced at the
# device's baud, real time), beside the transfer benchmark's floor,
# interleaved; medians over RUNS runs (default 5) in seconds per profile. No
# display needed.
#   bench/run_cli_transfers.sh [RUNS] [--profiles N] [--only m600|cv-relay|m900]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-bench"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSTOWLINE_TESTS=OFF >/dev/null
ninja -C "$build" -j2 bench_cli_transfers >/dev/null
"$build/bench/bench_cli_transfers" "$@"
