#!/usr/bin/env bash
# Takes the README's picture of the receiver's editor in a Windows window under Wine: builds the
# win64 configuration, shows the editor with zt-vsthost.exe --editor on a virtual X server while a
# sine plays through the plug-in, and photographs the window. Run by hand, not by CI:
#   scripts/editor-screenshot.sh [OUTPUT.png]      default docs/editor-window.png
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath -m "${1:-docs/editor-window.png}")
# import (ImageMagick) photographs the window; xdotool finds it by its title.
scripts/install-deps.sh imagemagick xdotool >/dev/null
scripts/deps.sh win64 >/dev/null
cmake --preset win64 >/dev/null
cmake --build --preset win64 -j "$(nproc)" --target zt-vsthost ZolvarTesk_Receive >/dev/null

export ZOLVARTESK_SESSION=screenshot-$$ # a segment of its own
export SHOT_OUT=$out
export SHOT_DLL=build/win64/plugin/ZolvarTesk_Receive.dll
xvfb-run -a -s "-screen 0 800x600x24" bash -c '
  cmake/wine-run.sh build/win64/tools/vsthost/zt-vsthost.exe "$SHOT_DLL" --editor 8 >/dev/null &
  host=$!
  id=""
  for _ in $(seq 1 150); do
    id=$(xdotool search --name "zt-vsthost: ZolvarTesk_Receive" 2>/dev/null | head -1 || true)
    [ -n "$id" ] && break
    sleep 0.2
  done
  [ -n "$id" ] || { echo "editor-screenshot: no editor window appeared" >&2; exit 1; }
  sleep 3 # the read-outs follow the signal
  /usr/bin/import -window "$id" "$SHOT_OUT"
  wait "$host"'
echo "editor-screenshot: wrote $out"
