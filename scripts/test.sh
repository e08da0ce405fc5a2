#!/usr/bin/env bash
# The test command: installs what is missing, builds the native release, the native
# ASan+UBSan and the win64 configurations and runs every test (win64 under Wine), then runs the
# cross-thread tests under ThreadSanitizer and every fuzz target for a short while. Each run fails
# when it leaves a shared-memory segment of its own behind, or a program of it used a segment
# without a key of its own (scripts/shm-guard.sh).
#   scripts/test.sh            everything
#   scripts/test.sh release    only the named configurations (release, asan, tsan, win64, fuzz)
set -euo pipefail
cd "$(dirname "$0")/.."
configs=("$@")
[ ${#configs[@]} -gt 0 ] || configs=(release asan win64 tsan fuzz)

start=$(date +%s)
scripts/install-deps.sh
# The libraries the plug-ins link statically, built once per target.
native=
for c in "${configs[@]}"; do
  if [ "$c" = win64 ]; then scripts/deps.sh win64; elif [ -z "$native" ]; then native=1; scripts/deps.sh linux; fi
done

jobs=${ZT_JOBS:-$(nproc)}
failed=()
for c in "${configs[@]}"; do
  echo "=== $c: configure and build"
  if [ "$c" = fuzz ]; then
    # Each target briefly, over the committed seeds: long runs are scripts/fuzz.sh's.
    if ! scripts/shm-guard.sh scripts/fuzz.sh "${ZT_FUZZ_SECONDS:-20}"; then failed+=("$c"); fi
    continue
  fi
  cmake --preset "$c" >/dev/null
  if [ "$c" = tsan ]; then
    # Only the tests that exist to race threads against each other are built for ThreadSanitizer:
    # the editor's threads, the host-abuse test's audio, user-interface and set-up threads, and
    # the AAX host that initialises while it renders.
    cmake --build --preset "$c" -j "$jobs" --target editor_thread_tests vst2_abuse_tests \
      aax_adapter_tests
    echo "=== $c: test"
    if ! scripts/shm-guard.sh ctest --preset "$c" -j "$jobs" -L tsan; then failed+=("$c"); fi
    continue
  fi
  cmake --build --preset "$c" -j "$jobs"
  echo "=== $c: test"
  if ! scripts/shm-guard.sh ctest --preset "$c" -j "$jobs"; then failed+=("$c"); fi
done

echo "=== done in $(( $(date +%s) - start )) s"
if [ ${#failed[@]} -gt 0 ]; then
  echo "FAILED configurations: ${failed[*]}"
  exit 1
fi
echo "all configurations passed: ${configs[*]}"
