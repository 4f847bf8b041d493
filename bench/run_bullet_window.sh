#!/usr/bin/env bash
# Bullet library: time to build the lists at start-up and the first opening of
# the window (first paint, and until the main loop is idle), against an empty
# window of the same size; medians over RUNS fresh processes (default 9).
#   bench/run_bullet_window.sh [RUNS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-9}
build="$root/build-bench"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSTOWLINE_TESTS=OFF >/dev/null
ninja -C "$build" -j2 bench_bullet_window >/dev/null
bench="$build/bench/bench_bullet_window"
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c "
  median() { sort -n | awk '{v[NR]=\$1} END {print (NR%2 ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2)}'; }
  for mode in --empty '' --fixed-height; do
    case \"\$mode\" in --empty) echo '== empty 545x400 window (floor)';; '') echo '== bullet library (autosized columns, as shipped)';; *) echo '== bullet library, fixed-height mode (comparison only)';; esac
    out=\$(for i in \$(seq $runs); do '$bench' \$mode 2>/dev/null; done)
    for name in \$(echo \"\$out\" | awk '{print \$1}' | awk '!seen[\$0]++'); do
      printf '  %-14s %8s ms\n' \"\$name\" \"\$(echo \"\$out\" | awk -v n=\"\$name\" '\$1==n {print \$2}' | median)\"
    done
  done
"
