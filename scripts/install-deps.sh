#!/usr/bin/env bash
# Installs the Debian packages of scripts/debian-packages.txt that are missing, and any further
# packages named as arguments (for scripts with needs of their own); does nothing when all are
# there. Needs root (or sudo) only when something is missing.
#   scripts/install-deps.sh [PACKAGE...]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

missing=()
while read -r pkg; do
  pkg=${pkg%%#*}
  pkg=$(echo "$pkg" | xargs)
  [ -n "$pkg" ] || continue
  status=$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)
  [ "$status" = "install ok installed" ] || missing+=("$pkg")
done < <(cat "$here/debian-packages.txt"; printf '%s\n' "$@")

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all Debian packages present"
  exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "install-deps: need root to install: ${missing[*]}" >&2; exit 1; }
  sudo=sudo
fi
echo "install-deps: installing ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
