#!/usr/bin/env bash
# The main job: installs what is missing, builds the native release and renders the built-in
# example through the real plug-in (a sender stand-in publishing the reference, the receiver
# matching the input to it). Extra arguments go to zt-render, e.g. your own files:
#   scripts/run.sh input.wav reference.wav output.wav
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/deps.sh linux
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)"
mkdir -p out
if [ $# -eq 0 ]; then
  set -- --example-dir out/example
fi
exec build/release/tools/render/zt-render "$@"
