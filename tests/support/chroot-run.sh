#!/usr/bin/env bash
# Runs a host tool on a plug-in module inside an empty root that holds only the two files and
# the C library with its companions (libc, libm, libpthread, libdl and the dynamic loader): the
# module must load and work there as on a distribution without our build dependencies.
#   chroot-run.sh TOOL MODULE [TOOL ARGUMENTS...]
# As root it uses chroot; otherwise a user namespace of its own (unshare -r). No network.
set -euo pipefail
PATH=$PATH:/usr/sbin:/sbin # ldconfig and chroot, also for a user whose PATH lacks them
tool=$1
module=$2
shift 2

root=$(mktemp -d "${TMPDIR:-/tmp}/zt-chroot.XXXXXX")
trap 'rm -rf "$root"' EXIT
mkdir -p "$root/bin" "$root/plug" "$root/dev/shm" "$root/tmp"

# The C library as the tool finds it; anything else the tool needs is a fault of its link.
allowed='^(libc\.so\.6|libm\.so\.6|libpthread\.so\.0|libdl\.so\.2|ld-linux[-a-z0-9_.]*\.so\.[0-9]+|linux-vdso\.so\.1)$'
copy_lib() {
  local path=$1
  local dest=$root$(dirname "$path")
  mkdir -p "$dest"
  cp -L "$path" "$dest/"
}
while read -r line; do
  name=$(awk '{print $1}' <<<"$line")
  path=$(awk '{print ($2 == "=>") ? $3 : $1}' <<<"$line")
  base=$(basename "$name")
  if ! [[ $base =~ $allowed ]]; then
    echo "chroot-run: $tool needs $name, which the empty root does not offer" >&2
    exit 1
  fi
  [[ $base == linux-vdso.so.1 ]] || copy_lib "$path"
done < <(ldd "$tool" | sed 's/ (0x[0-9a-f]*)$//; s/^[ \t]*//')
# libm beside libc, for modules whose tool does not need it.
libm=$(ldconfig -p | awk '/libm\.so\.6 .*x86-64/ && !seen {print $NF; seen = 1}')
[[ -n $libm && ! -e $root$libm ]] && copy_lib "$libm"

cp "$tool" "$root/bin/"
cp "$module" "$root/plug/"
echo "chroot-run: the root holds:"
(cd "$root" && find . -type f | sort | sed 's/^/  /')

run=(chroot "$root" "/bin/$(basename "$tool")" "/plug/$(basename "$module")" "$@")
if [[ $(id -u) -ne 0 ]]; then run=(unshare --user --map-root-user "${run[@]}"); fi
# Not exec: the trap removes the root when the tool is done.
rc=0
"${run[@]}" || rc=$?
exit "$rc"
