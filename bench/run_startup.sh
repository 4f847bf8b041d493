#!/usr/bin/env bash
# Start-up time and peak memory of Stowline against an empty GTK 2 window.
#   bench/run_startup.sh [RUNS]   (default 9)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-9}
build="$root/build-bench"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSTOWLINE_TESTS=OFF >/dev/null
ninja -C "$build" stowline bench_startup bench_empty_window >/dev/null
work=$(mktemp -d)
mkdir -p "$work/bin" "$work/Profiles" "$work/Device"
cp "$root"/images/*.png "$work/bin/"
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c "
  echo '== empty GTK 2 window (floor)'
  '$build/bench/bench_startup' $runs 'Empty Window' '$work/bin' '$build/bench/bench_empty_window'
  echo '== GTK 2 window with one label and one button (floor with fonts)'
  '$build/bench/bench_startup' $runs 'Empty Window' '$work/bin' '$build/bench/bench_empty_window' --text
  echo '== Stowline, selection window'
  '$build/bench/bench_startup' $runs 'Corvane Stowline' '$work/bin' '$build/stowline'
"
rm -rf "$work"
