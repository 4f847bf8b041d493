#!/usr/bin/env bash
# Start-up time and peak memory of Stowline against floors started the same
# way, taking turns run by run: the selection window alone made with GTK
# calls (the floor the program is held to), an empty GTK 2 window, and one
# with a label and a button.
#   bench/run_startup.sh [RUNS]   (default 15)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-15}
build="$root/build-bench"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSTOWLINE_TESTS=OFF >/dev/null
ninja -C "$build" -j2 stowline bench_startup bench_empty_window bench_selection_window >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/bin" "$work/Profiles" "$work/Device"
cp "$root"/images/*.png "$work/bin/"
b="$build/bench"
xvfb-run -a -s "-screen 0 1280x1024x24" \
  "$b/bench_startup" "$runs" "$work/bin" \
    selection-floor "Selection Window Floor" "$b/bench_selection_window" -- \
    empty-window "Empty Window" "$b/bench_empty_window" -- \
    label-and-button "Empty Window" "$b/bench_empty_window" --text -- \
    stowline "Corvane Stowline" "$build/stowline"
