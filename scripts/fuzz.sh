#!/usr/bin/env bash
# Builds the fuzz targets (clang, libFuzzer with AddressSanitizer and
# UndefinedBehaviorSanitizer) in build-fuzz/ and runs each in turn for
# SECONDS (default 60; --short: 10), after replaying the inputs of its
# crashes/ folder. Fails on any finding: a crash, a sanitizer report, a
# failed check, a hang (10 s for one input), a leak.
#
#   scripts/fuzz.sh [SECONDS | --short] [TARGET...]
#
# Each target keeps its growing corpus in build-fuzz/corpus/TARGET (started
# from fuzz/TARGET/seeds) and what it finds in build-fuzz/findings/TARGET/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=60
if [ $# -gt 0 ]; then
  case "$1" in
    --short) seconds=10; shift ;;
    ''|*[!0-9]*) ;;
    *) seconds=$1; shift ;;
  esac
fi
all=(profile_file settings_file line_checksum com_lines frames hid_reports poll_commands download upload_lines
     bullet_data form_numbers solver truing cli_json)
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=("${all[@]}")

"$root/scripts/deps.sh" --test
build="$root/build-fuzz"
cmake -S "$root" -B "$build" -G Ninja -DSTOWLINE_FUZZ=ON -DSTOWLINE_TESTS=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
ninja -C "$build" fuzz_targets >/dev/null

failed=()
for t in "${targets[@]}"; do
  exe="$build/fuzz/fuzz_$t"
  [ -x "$exe" ] || { echo "no such fuzz target: $t" >&2; exit 2; }
  corpus="$build/corpus/$t"
  findings="$build/findings/$t"
  log="$build/findings/$t.log"
  mkdir -p "$corpus" "$findings"
  for seed in "$root/fuzz/$t/seeds/"*; do
    [ -e "$corpus/${seed##*/}" ] || cp "$seed" "$corpus/"
  done
  args=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=4096 -print_final_stats=1
        -artifact_prefix="$findings/")
  [ -f "$root/fuzz/$t/$t.dict" ] && args+=(-dict="$root/fuzz/$t/$t.dict")

  status=0
  # The inputs that once failed must pass now.
  if compgen -G "$root/fuzz/$t/crashes/*" >/dev/null; then
    "$exe" -timeout=10 "$root/fuzz/$t/crashes/"* >"$log" 2>&1 || status=$?
  fi
  if [ $status -eq 0 ]; then
    "$exe" "${args[@]}" "$corpus" >"$log" 2>&1 || status=$?
  fi
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  last=$(grep -a -E '^#[0-9]+' "$log" | tail -1 | grep -a -o -E 'cov: [0-9]+ ft: [0-9]+ corp: [^ ]+' || true)
  if [ $status -ne 0 ] || [ -n "$(ls -A "$findings")" ]; then
    echo "FAIL $t: see $log"
    grep -a -m3 -E 'fuzz check failed|runtime error|ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer)' "$log" || true
    failed+=("$t")
  else
    echo "ok   $t: ${execs:-?} runs in ${seconds} s, $last"
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "FUZZING FOUND FAULTS in: ${failed[*]}"
  exit 1
fi
echo "FUZZING FOUND NOTHING (${#targets[@]} targets, ${seconds} s each)"
