#!/usr/bin/env bash
# The matching-quality benchmark: installs what is missing, builds the native release, records
# real speech with espeak-ng and renders every case through the sender and receiver plug-ins;
# the table goes to standard output, the rendered files to build/release/bench/match-quality/.
# Arguments go to match_quality (e.g. --blocks 512 --case speech-in, or --aax).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh >/dev/null
scripts/deps.sh linux >/dev/null
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" --target match_quality >/dev/null
out=build/release/bench/match-quality
scripts/make-speech.sh "$out/speech" >/dev/null
exec build/release/bench/match_quality --speech-dir "$out/speech" --out "$out" "$@"
