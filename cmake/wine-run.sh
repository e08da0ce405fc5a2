#!/usr/bin/env bash
# Runs a Windows executable under Wine; ctest uses it as the emulator of the win64 build.
#   cmake/wine-run.sh prog.exe [args...]     exit status and output are the program's
#   cmake/wine-run.sh --windowed NAME prog.exe [args...]
#                                            a program that opens windows, on the X display in
#                                            DISPLAY (xvfb-run), with a Wine server of its own
# The prefix is made once, under a lock so that tests started in parallel do not race to make it,
# and made again when the Wine version changes. Console programs need no display; windowed
# tests run under xvfb-run. WINEPREFIX, WINEDEBUG and WINEDLLOVERRIDES may be set by the caller.
set -euo pipefail
wine=/usr/lib/wine/wine64 # nothing named wine64 is on PATH
wineserver=/usr/lib/wine/wineserver64
if [[ ! -x $wine ]]; then
  echo "wine-run: $wine not found: install the Debian package wine64" >&2
  exit 127
fi
usage="usage: wine-run.sh [--windowed NAME] program.exe [args...]"
# A Wine server binds its desktop to the X display of the process that started it. The console
# tests start servers without a display and keep them alive, so a program that needs windows
# gets a prefix, and thus a server, of its own, started on its display and stopped with it.
windowed=""
if [[ ${1:-} == --windowed ]]; then
  [[ $# -ge 3 ]] || { echo "$usage" >&2; exit 2; }
  windowed=$2
  shift 2
  [[ -n ${DISPLAY:-} ]] || { echo "wine-run: --windowed needs an X display (run under xvfb-run)" >&2; exit 2; }
  export WINEPREFIX=${WINEPREFIX:-$HOME/.cache/zolvartesk/wine-prefix-$windowed}
fi
[[ $# -gt 0 ]] || { echo "$usage" >&2; exit 2; }

export WINEDEBUG=${WINEDEBUG:--all}
# No offer to install Mono or Gecko.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml="}
export WINEPREFIX=${WINEPREFIX:-$HOME/.cache/zolvartesk/wine-prefix}

stamp=$WINEPREFIX/.zt-ready
want=$("$wine" --version)
if [[ ! -f $stamp || $(<"$stamp") != "$want" ]]; then
  mkdir -p "$(dirname "$WINEPREFIX")"
  exec 8>"$WINEPREFIX.lock"
  flock 8
  if [[ ! -f $stamp || $(<"$stamp") != "$want" ]]; then
    log=$WINEPREFIX.init.log
    # Its first-start chatter (a harmless syswow64\rundll32.exe message among it) goes to the
    # log, not into the first test's output.
    if ! "$wine" wineboot --init >"$log" 2>&1; then
      cat "$log" >&2
      echo "wine-run: making the Wine prefix $WINEPREFIX failed (log: $log)" >&2
      exit 1
    fi
    # Let the services it started settle; bounded, as another run may keep the server busy.
    timeout 60 "$wineserver" -w || true
    echo "$want" >"$stamp"
  fi
  exec 8>&-
fi
if [[ -n $windowed ]]; then
  # A server left from an earlier run would still be bound to that run's display, now gone.
  "$wineserver" -k >/dev/null 2>&1 || true
  "$wineserver" -w >/dev/null 2>&1 || true
  status=0
  "$wine" "$@" || status=$?
  "$wineserver" -k >/dev/null 2>&1 || true
  exit "$status"
fi
# Keep one server alive across the many short test starts: a client that arrives while the last
# server is shutting down fails to start at all. A server already running makes this a no-op.
"$wineserver" -p15 >/dev/null 2>&1 || true
exec "$wine" "$@"
