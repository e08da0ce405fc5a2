#!/usr/bin/env bash
# Runs a command (a test run) and fails when it left a shared-memory segment of its own in
# /dev/shm, or used the segment a program of the run gets without a key of its own. The run gets
# a tag (ZT_TEST_RUN), which every test key starts with, and a default session of its own
# (ZOLVARTESK_SESSION=<tag>-default), so that nothing of it reaches the user's own session even by
# mistake, and nothing of another run or of the user's DAW is judged or removed. What the run left
# is listed and removed, so that the next run starts clean. Windows builds under Wine keep their
# mappings in the Wine server, not here: for them only the keys are checked, by the tests.
#   scripts/shm-guard.sh COMMAND [ARGUMENT...]
set -uo pipefail
shm=/dev/shm
tag="g$$"
export ZT_TEST_RUN="$tag"
export ZOLVARTESK_SESSION="$tag-default"
mine() { (cd "$shm" && ls -1 2>/dev/null | grep "^ZolvarTesk\.$tag-" | sort) || true; }

events=$(mktemp "${TMPDIR:-/tmp}/zt-shm-guard.XXXXXX")
ready=$(mktemp "${TMPDIR:-/tmp}/zt-shm-guard.XXXXXX")
# An open of the run's default segment shows as an event of that name (a mapping's later writes do
# not); the watch is up before the command starts.
inotifywait -m -e create -e open --format '%e %f' -o "$events" "$shm" 2>"$ready" &
watcher=$!
until grep -q 'Watches established' "$ready" 2>/dev/null; do
  if ! kill -0 "$watcher" 2>/dev/null; then
    # Without inotify only what is left can be seen, a default segment the run made included.
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
  for _ in $(seq 200); do
    grep -q " $marker\$" "$events" 2>/dev/null && break
    kill -0 "$watcher" 2>/dev/null || break
    sleep 0.05
  done
  grep -q " $marker\$" "$events" 2>/dev/null || echo "shm-guard: the watch fell behind; its events may be incomplete" >&2
  kill "$watcher" 2>/dev/null
  wait "$watcher" 2>/dev/null
fi
left=$(mine)
touched=$(awk -v d="ZolvarTesk.$tag-default" '$2 == d {print $1}' "$events" | sort -u | paste -sd, -)
user=$(awk -v d="ZolvarTesk.$(id -u)" '$2 == d {print $1}' "$events" | sort -u | paste -sd, -)
rm -f "$events" "$ready"
if [ -n "$left" ]; then
  echo "shm-guard: the run left these shared-memory objects, now removed:" >&2
  sed 's/^/  /' <<<"$left" >&2
  (cd "$shm" && xargs rm -f <<<"$left")
  [ "$rc" -ne 0 ] || rc=1
fi
if [ -n "$touched" ]; then
  echo "shm-guard: a program of the run used a segment without a key of its own ($touched)" >&2
  [ "$rc" -ne 0 ] || rc=1
fi
if [ -n "$user" ]; then
  # Nothing of the run should get there (its default is its own); a DAW running meanwhile does.
  echo "shm-guard: note: the user's own segment $shm/ZolvarTesk.$(id -u) was opened meanwhile ($user)" >&2
fi
exit "$rc"
