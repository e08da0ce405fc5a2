#!/usr/bin/env bash
# Runs a Windows executable under Wine with a prefix of its own; ctest uses it as the emulator.
set -euo pipefail
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml="}
export WINEPREFIX=${WINEPREFIX:-$HOME/.cache/zolvartesk/wine-prefix}
mkdir -p "$WINEPREFIX"
exec /usr/lib/wine/wine64 "$@"
