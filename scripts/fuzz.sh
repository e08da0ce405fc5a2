#!/usr/bin/env bash
# Builds the libFuzzer targets (configuration "fuzz": clang, ASan + UBSan) and runs each for the
# given number of seconds over the committed seeds (tests/fuzz/corpus/<target>) and what earlier
# runs found (build/fuzz/corpus/<target>, which grows from run to run). Prints the executions of
# each target; a crash leaves its input in build/fuzz/crash-<target>-* and fails the script.
#   scripts/fuzz.sh [SECONDS] [TARGET...]     default 60 s, every target
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
[ $# -gt 0 ] && shift
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_state_chunk fuzz_png fuzz_segment)

scripts/install-deps.sh >/dev/null
scripts/deps.sh linux >/dev/null
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "${ZT_JOBS:-$(nproc)}" --target fuzz_targets

failed=()
for t in "${targets[@]}"; do
  work=build/fuzz/corpus/$t
  log=build/fuzz/$t.log
  mkdir -p "$work"
  # Fuzzing a plug-in sends the receivers' diagnostics to standard error by the thousand: the
  # log keeps them, the summary says what counts.
  if build/fuzz/tests/fuzz/$t -max_total_time="$seconds" -print_final_stats=1 \
      -artifact_prefix="build/fuzz/crash-$t-" "$work" "tests/fuzz/corpus/$t" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    corpus=$(find "$work" -type f | wc -l)
    echo "fuzz: $t: ${runs:-?} executions in $seconds s, $corpus inputs found so far"
  else
    echo "fuzz: $t FAILED (log: $log):"
    grep -E "ERROR|runtime error|SUMMARY|fuzz_[a-z_]+:" "$log" | head -20 || tail -20 "$log"
    failed+=("$t")
  fi
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz: failures in ${failed[*]}"
  exit 1
fi
