#!/usr/bin/env bash
# Runs a command (a test run) and fails when it left a ZolvarTesk.* shared-memory object in
# /dev/shm that was not there before, or opened the default one, the session of the user's DAW:
# every test is to use a key of its own and remove its segment. What a run left is listed and
# removed, so that the next run starts clean.
#   scripts/shm-guard.sh COMMAND [ARGUMENT...]
set -uo pipefail
shm=/dev/shm
default="ZolvarTesk.$(id -u)"
listing() { (cd "$shm" && ls -1 2>/dev/null | grep '^ZolvarTesk\.' | sort) || true; }

before=$(listing)
events=$(mktemp "${TMPDIR:-/tmp}/zt-shm-guard.XXXXXX")
ready=$(mktemp "${TMPDIR:-/tmp}/zt-shm-guard.XXXXXX")
# Opening the default segment shows as an open of that name (a mapping's later writes do not);
# the watch is up before the command starts.
inotifywait -m -e create -e open --format '%e %f' -o "$events" "$shm" 2>"$ready" &
watcher=$!
until grep -q 'Watches established' "$ready" 2>/dev/null; do
  if ! kill -0 "$watcher" 2>/dev/null; then
    # Without inotify only what is left can be seen, a default segment the run created included.
    cat "$ready" >&2
    echo "shm-guard: cannot watch $shm; checking only what the run leaves" >&2
    watcher=
    break
  fi
  sleep 0.05
done

"$@"
rc=$?

if [ -n "$watcher" ]; then
  # Events arrive in order: once the watch reports a marker made after the command, it has
  # reported everything the command did.
  marker="zt-shm-guard.$$"
  : >"$shm/$marker" && rm -f "$shm/$marker"
  until grep -q " $marker\$" "$events" 2>/dev/null || ! kill -0 "$watcher" 2>/dev/null; do
    sleep 0.05
  done
  kill "$watcher" 2>/dev/null
  wait "$watcher" 2>/dev/null
fi
left=$(comm -13 <(echo "$before") <(listing) | grep . || true)
touched=$(awk -v d="$default" '$2 == d {print $1}' "$events" | sort -u | paste -sd, -)
rm -f "$events" "$ready"
if [ -n "$left" ]; then
  echo "shm-guard: the run left these shared-memory objects, now removed:" >&2
  sed 's/^/  /' <<<"$left" >&2
  (cd "$shm" && xargs rm -f <<<"$left")
  [ "$rc" -ne 0 ] || rc=1
fi
if [ -n "$touched" ]; then
  echo "shm-guard: the run used the user's own session segment $shm/$default ($touched)" >&2
  [ "$rc" -ne 0 ] || rc=1
fi
exit "$rc"
