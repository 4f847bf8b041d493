#!/usr/bin/env bash
# Builds Stowline and its device simulator (build/tools/simulator/stowline-sim,
# for trying it without a meter) and starts Stowline in the working folder
# run/bin (pictures and settings.ini), with run/Profiles and run/Device beside
# it. Profiles saved there survive rebuilds and later runs.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
cmake -S "$root" -B "$root/build" -G Ninja -DSTOWLINE_TESTS=OFF >/dev/null
ninja -C "$root/build" stowline stowline-sim
mkdir -p "$root/run/bin" "$root/run/Profiles" "$root/run/Device"
cp "$root"/images/*.png "$root/run/bin/"
cp "$root/build/stowline" "$root/run/bin/stowline"
cd "$root/run/bin"
exec ./stowline "$@"
