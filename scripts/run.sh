#!/usr/bin/env bash
# Builds Stowline, stowline-cli (build/stowline-cli) and the device simulator
# (build/tools/simulator/stowline-sim, for trying it without a meter) and
# starts Stowline in the working folder run/bin (pictures and settings.ini),
# with run/Profiles and run/Device beside it. Profiles saved there survive
# rebuilds and later runs.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
cmake -S "$root" -B "$root/build" -G Ninja -DSTOWLINE_TESTS=OFF >/dev/null
ninja -C "$root/build" stowline stowline-cli stowline-sim
mkdir -p "$root/run/bin" "$root/run/Profiles" "$root/run/Device"

# A file changes in the working folder by a rename, never by writing into it:
# a Stowline already running there keeps the program and pictures it opened,
# and the new one started below finds its lock and says so.
place() {
    local to=$2
    cmp -s "$1" "$to" && return
    cp "$1" "$to.new.$$"
    mv -f "$to.new.$$" "$to"
}
for picture in "$root"/images/*.png; do place "$picture" "$root/run/bin/${picture##*/}"; done
place "$root/build/stowline" "$root/run/bin/stowline"
cd "$root/run/bin"
exec ./stowline "$@"
