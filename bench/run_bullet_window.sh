#!/usr/bin/env bash
# Bullet library: time to build the lists at start-up, the first opening of
# the window (first paint, and until the main loop is idle), and filtering
# and clearing the filter, one fresh process per measurement, the modes
# taking turns run by run. Medians over RUNS rounds (default 9) for the views
# as shipped, against rough fixed widths that measure no text (the
# reference), with autosized columns for comparison, and the floor: an empty
# window of the same size.
#   bench/run_bullet_window.sh [RUNS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-9}
build="$root/build-bench"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSTOWLINE_TESTS=OFF >/dev/null
ninja -C "$build" -j2 bench_bullet_window >/dev/null
bench="$build/bench/bench_bullet_window"
out=$(mktemp)
trap 'rm -f "$out"' EXIT
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c "
  for i in \$(seq $runs); do
    for mode in empty shipped fixed-height autosized; do
      case \$mode in shipped) opt='';; *) opt=--\$mode;; esac
      '$bench' \$opt 2>/dev/null | sed \"s/^/\$mode /\"
    done
  done
" >"$out"
awk -v runs="$runs" '
  { key = $1 " " $2; v[key, ++n[key]] = $3; if ($1 == "shipped" && !seen[$2]++) names[++k] = $2 }
  function med(key,   m, i, j, t, a) {
    m = n[key]; if (!m) return -1
    for (i = 1; i <= m; i++) a[i] = v[key, i]
    for (i = 2; i <= m; i++) for (j = i; j > 1 && a[j-1] > a[j]; j--) { t = a[j]; a[j] = a[j-1]; a[j-1] = t }
    return m % 2 ? a[(m+1)/2] : (a[m/2] + a[m/2+1]) / 2
  }
  END {
    printf "medians of %d interleaved runs, ms (ratio: shipped to the fixed-height reference; floor: the empty window)\n", runs
    printf "  %-13s %9s %13s %6s %10s %7s\n", "", "shipped", "fixed-height", "ratio", "autosized", "floor"
    for (i = 1; i <= k; i++) {
      s = med("shipped " names[i]); f = med("fixed-height " names[i]); a = med("autosized " names[i]); e = med("empty " names[i])
      printf "  %-13s %9.2f %13.2f %6.2f %10.2f %7s\n", names[i], s, f, s / f, a, e < 0 ? "" : sprintf("%.2f", e)
    }
  }' "$out"
