#!/usr/bin/env bash
# Builds the native release and runs the benchmarks; figures go to standard output.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/deps.sh linux
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)"
for b in build/release/bench/*_bench; do
  [ -x "$b" ] || continue
  echo "=== $(basename "$b")"
  "$b" --benchmark_min_time=0.3 --benchmark_color=false "$@"
done
