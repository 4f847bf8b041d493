#!/usr/bin/env bash
# The transfer soak; a tool run by hand, not part of the tests.
#   scripts/soak.sh [CYCLES] [--seed S] [--kind K] [--max-profiles N] [--verbose]
#       the transfer core against the simulated meters of every kind, CYCLES
#       upload/download cycles per kind (default 500) with random faults, on a
#       virtual clock; K is m600, cv-relay, m900-1.12, m900-1.12.3, m900 or all
#   scripts/soak.sh --e2e [ROUNDS]
#       the real program against stowline-sim in real time, ROUNDS rounds
#       (default 3) of Send Profiles and Get Profiles with faults; SOAK_SEED
#       chooses the profiles
# Exit status 1 when a check failed. Builds the Release tree in build-bench/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-bench"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSTOWLINE_TESTS=OFF >/dev/null
if [ "${1:-}" = "--e2e" ]; then
  rounds=${2:-3}
  ninja -C "$build" -j2 stowline stowline-sim >/dev/null
  export STOWLINE_BIN="$build/stowline" STOWLINE_SIM="$build/tools/simulator/stowline-sim"
  export STOWLINE_IMAGES="$root/images" PYTHONDONTWRITEBYTECODE=1
  exec xvfb-run -a -s "-screen 0 1280x1024x24" dbus-run-session -- /usr/bin/python3 "$root/tools/soak/e2e_soak.py" "$rounds"
fi
cycles=500
if [[ "${1:-}" =~ ^[0-9]+$ ]]; then cycles=$1; shift; fi
ninja -C "$build" -j2 stowline-soak >/dev/null
exec "$build/tools/soak/stowline-soak" --cycles "$cycles" "$@"
