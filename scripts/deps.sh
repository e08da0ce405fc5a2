#!/usr/bin/env bash
# Builds the third-party libraries the plug-ins link statically, from Debian's source packages:
#
#   scripts/deps.sh win64     cross-built with MinGW-w64 (there are no MinGW packages of them);
#                             then configure with the win64 preset
#   scripts/deps.sh linux     for the native presets: position-independent, so that the Linux
#                             modules carry them inside and need nothing but the C library;
#                             cairo without X11 and fontconfig; libebur128 built to vectorise
#
# As root on Debian 12 (the first run of a target downloads sources). The libraries go to
# $HOME/.cache/zolvartesk/<target>-<key>, where <key> hashes the compiler, every library's version
# and the recipe that builds it; $HOME/.cache/zolvartesk/<target>-prefix is a symlink to the
# current one and is what CMake reads. ZT_WIN64_PREFIX or ZT_LINUX_PREFIX moves that symlink (the
# keyed folders go beside it). Each library has a stamp of its own: a run with nothing to build
# takes a fraction of a second and needs neither root nor the network, and a library added at
# the end of the list costs only its own build (the earlier ones are copied from the previous
# prefix).
set -euo pipefail

readonly t_start=$EPOCHREALTIME
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
readonly repo
readonly jobs=2
readonly target=${1:-}

case $target in
win64)
  readonly toolchain=$repo/cmake/mingw-w64.cmake
  readonly host=x86_64-w64-mingw32
  readonly cc=$host-gcc-posix
  readonly sysroot=/usr/$host
  link=${ZT_WIN64_PREFIX:-$HOME/.cache/zolvartesk/win64-prefix}
  # Build order, each library may use the ones above it: name, Debian source package, upstream
  # version.
  libs=(
    "libpng libpng1.6 1.6.39"
    "freetype freetype 2.12.1"
    "pixman pixman 0.42.2"
    "cairo cairo 1.16.0"
    "libsndfile libsndfile 1.2.0"
    "libebur128 libebur128 1.2.6"
  )
  ;;
linux)
  readonly toolchain=
  readonly host=
  readonly cc=gcc
  readonly sysroot=/usr
  link=${ZT_LINUX_PREFIX:-$HOME/.cache/zolvartesk/linux-prefix}
  libs=(
    "zlib zlib 1.2.13.dfsg"
    "libpng libpng1.6 1.6.39"
    "freetype freetype 2.12.1"
    "pixman pixman 0.42.2"
    "cairo cairo 1.16.0"
    "libebur128 libebur128 1.2.6"
  )
  ;;
*)
  echo "usage: scripts/deps.sh win64|linux" >&2
  exit 2
  ;;
esac
readonly libs
link=${link%/}
readonly link
cache=$(dirname "$link")
readonly cache
readonly src_cache=$cache/win64-src # Debian's source tarballs, for both targets
readonly log_dir=$cache/$target-logs

seconds_since() { awk -v a="$1" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.1f", b - a }'; }

say() { echo "deps ($target): $*"; }

die() {
  echo "deps ($target): error: $*" >&2
  exit 1
}

# --- recipes: each runs in the unpacked source folder with PREFIX set; set -e holds ----------

cmake_build() {
  local cross=()
  [[ -n $toolchain ]] && cross=(-DCMAKE_TOOLCHAIN_FILE="$toolchain" -DZT_WIN64_PREFIX="$PREFIX")
  cmake -S . -B _build -G Ninja "${cross[@]}" -DCMAKE_INSTALL_PREFIX="$PREFIX" \
    -DCMAKE_INSTALL_LIBDIR=lib -DCMAKE_BUILD_TYPE=Release -DCMAKE_POSITION_INDEPENDENT_CODE=ON \
    -DBUILD_SHARED_LIBS=OFF -DBUILD_TESTING=OFF "$@"
  cmake --build _build -j"$jobs"
  cmake --install _build
}

# Autotools run their link checks through pkg-config; --static gives them the private libraries
# too, otherwise a check against static FreeType fails for want of libpng and zlib.
autotools_configure() {
  local cross=()
  [[ -n $host ]] && cross=(--host="$host")
  PKG_CONFIG="pkg-config --static" ./configure "${cross[@]}" --prefix="$PREFIX" \
    --disable-shared --enable-static --with-pic CC="$cc" "$@"
}

# The zlib the other libraries use: MinGW's own package on win64, ours on Linux.
zlib_args() {
  if [[ $target == win64 ]]; then
    echo "-DZLIB_LIBRARY=$sysroot/lib/libz.a -DZLIB_INCLUDE_DIR=$sysroot/include"
  else
    echo "-DZLIB_LIBRARY=$PREFIX/lib/libz.a -DZLIB_INCLUDE_DIR=$PREFIX/include"
  fi
}

build_zlib() {
  CC=$cc CFLAGS="-O2 -fPIC" ./configure --static --prefix="$PREFIX"
  make -j"$jobs" libz.a
  make install
}

# libebur128 sums its 400 ms momentary window with dependent scalar additions; allowing the
# compiler to reassociate them vectorises the sum, and unrolling it with several partial sums
# keeps more additions in flight: a momentary query at 192 kHz takes 29 us instead of Debian's
# 92 us (48 us without the unrolling), within 1e-9 LU of Debian's build. Debian's source, built
# differently: only the flags change (they are spelt out here, so that the cache key sees them).
build_libebur128() {
  cmake_build -DBUILD_STATIC_LIBS=ON -DCMAKE_C_FLAGS_RELEASE="-O3 -fno-math-errno \
-fassociative-math -fno-signed-zeros -fno-trapping-math -funroll-loops \
-fvariable-expansion-in-unroller -DNDEBUG"
}

build_libpng() {
  # FindZLIB would take the import library (zlib1.dll) or the shared library otherwise.
  # shellcheck disable=SC2046
  cmake_build -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF $(zlib_args)
}

build_freetype() {
  # shellcheck disable=SC2046
  cmake_build -DFT_DISABLE_HARFBUZZ=ON -DFT_DISABLE_BROTLI=ON -DFT_DISABLE_BZIP2=ON \
    -DFT_REQUIRE_PNG=ON -DFT_REQUIRE_ZLIB=ON $(zlib_args) \
    -DPNG_LIBRARY="$PREFIX/lib/libpng16.a" -DPNG_PNG_INCLUDE_DIR="$PREFIX/include"
}

build_pixman() {
  autotools_configure --disable-gtk --disable-libpng --disable-openmp CFLAGS="-O2 -fPIC"
  make -C pixman -j"$jobs"
  make -C pixman install
  install -D -m 644 pixman-1.pc "$PREFIX/lib/pkgconfig/pixman-1.pc"
}

build_cairo() {
  local common=(--enable-ft --disable-fc --enable-png --disable-xlib --disable-xlib-xrender
    --disable-xcb --disable-xlib-xcb --disable-xcb-shm --disable-gobject --disable-trace
    --disable-interpreter --disable-symbol-lookup --disable-valgrind --without-x)
  if [[ $target == linux ]]; then
    autotools_configure "${common[@]}" CFLAGS="-O2 -fPIC"
    make -C src -j"$jobs"
    make -C src install
    return
  fi
  # configure adds _FORTIFY_SOURCE, which leaves __memcpy_chk undefined at the final link.
  # CAIRO_WIN32_STATIC_BUILD drops the DllMain that a DLL build of cairo needs: in a static
  # library it would be linked into whatever module lacks one of its own.
  autotools_configure --enable-win32 --enable-win32-font "${common[@]}" \
    CFLAGS="-O2 -Wp,-U_FORTIFY_SOURCE -DCAIRO_WIN32_STATIC_BUILD"
  make -C src -j"$jobs"
  make -C src install
  # cairo.pc hands its users the same define (under MSVC-style compilers it stops dllimport) and
  # the GDI and AlphaBlend libraries that its win32 backends call but its .pc leaves out.
  sed -i -E -e '/^Cflags:/ s/$/ -DCAIRO_WIN32_STATIC_BUILD/' \
    -e '/^Libs.private:/ s/[[:space:]]*$/ -lgdi32 -lmsimg32/' "$PREFIX"/lib/pkgconfig/cairo.pc
}

build_libsndfile() {
  # The offline tools read WAV/AIFF only: no codec libraries.
  cmake_build -DENABLE_EXTERNAL_LIBS=OFF -DENABLE_MPEG=OFF -DBUILD_PROGRAMS=OFF \
    -DBUILD_EXAMPLES=OFF -DBUILD_REGTEST=OFF -DENABLE_CPACK=OFF -DINSTALL_MANPAGES=OFF \
    -DENABLE_PACKAGE_CONFIG=ON -DINSTALL_PKGCONFIG_MODULE=ON
}

# --- cache key -----------------------------------------------------------------------------

# One line for the toolchain and one per library, each naming what its build depends on; a
# changed recipe changes its line (declare -f prints the function without comments).
manifest_lines() {
  local cc_ver crt_ver helpers
  cc_ver=$("$cc" -dumpfullversion) || die "$cc not found (install the packages of scripts/debian-packages.txt)"
  if [[ $target == win64 ]]; then
    crt_ver=$(dpkg-query -W -f='${Version}' mingw-w64-x86-64-dev 2>/dev/null || echo unknown)
  else
    crt_ver=$(dpkg-query -W -f='${Version}' libc6-dev 2>/dev/null || echo unknown)
  fi
  helpers=$(declare -f cmake_build autotools_configure zlib_args fix_pc_files | sha256sum | cut -c1-12)
  echo "toolchain $target $cc_ver $crt_ver $helpers"
  local entry name pkg ver
  for entry in "${libs[@]}"; do
    read -r name pkg ver <<<"$entry"
    echo "$name $ver $(declare -f "build_$name" | sha256sum | cut -c1-12)"
  done
}

# --- sources -------------------------------------------------------------------------------

deb_src_ready=

ensure_deb_src() {
  [[ -n $deb_src_ready ]] && return 0
  local added=
  if ! grep -qsE '^[[:space:]]*(Types:.*\bdeb-src\b|deb-src[[:space:]])' \
    /etc/apt/sources.list /etc/apt/sources.list.d/*.sources /etc/apt/sources.list.d/*.list; then
    [[ $EUID -eq 0 ]] || die "downloading Debian sources needs root (to add a deb-src entry)"
    if [[ -f /etc/apt/sources.list.d/debian.sources ]]; then
      sed -E 's/^Types:.*/Types: deb-src/' /etc/apt/sources.list.d/debian.sources \
        >/etc/apt/sources.list.d/zolvartesk-deb-src.sources
    elif [[ -f /etc/apt/sources.list ]]; then
      sed -n -E 's/^[[:space:]]*deb[[:space:]]/deb-src /p' /etc/apt/sources.list \
        >/etc/apt/sources.list.d/zolvartesk-deb-src.list
    else
      die "no Debian sources file to copy a deb-src entry from"
    fi
    added=1
  fi
  # A deb-src entry whose index was never fetched (an interrupted first run) needs the update too.
  if [[ -n $added ]] || ! apt-cache showsrc libebur128 2>/dev/null | grep -q '^Version:'; then
    [[ $EUID -eq 0 ]] || die "apt-get update needs root"
    say "apt-get update for the deb-src entry"
    apt-get update -qq >"$log_dir/apt-update.log" 2>&1 ||
      die "apt-get update failed: $log_dir/apt-update.log"
  fi
  deb_src_ready=1
}

find_orig_in() { # folder srcpkg version -> prints the orig tarball path if the folder holds it
  local f
  for f in "$1/${2}_${3}".orig.tar.* "$1/${2}_${3}"+*.orig.tar.*; do
    [[ -f $f && $f != *.asc ]] && { echo "$f"; return 0; }
  done
  return 1
}

find_orig() { find_orig_in "$src_cache" "$@"; } # srcpkg version

fetch_orig() { # srcpkg version -> sets orig to the orig tarball path
  local pkg=$1 ver=$2 dl f
  orig=$(find_orig "$pkg" "$ver") && return 0
  ensure_deb_src
  dl=$(mktemp -d "$cache/$target-dl.XXXXXX")
  # Only the upstream tarball is used; a failed download of Debian's patches is harmless. The
  # newest version may live in a pool the mirror does not carry (a security update of the same
  # upstream source): then each version apt knows is asked for in turn.
  (cd "$dl" && apt-get source --download-only "$pkg") >"$log_dir/$pkg-source.log" 2>&1 || true
  local v
  if ! find_orig_in "$dl" "$pkg" "$ver" >/dev/null; then
    for v in $(apt-cache showsrc "$pkg" 2>/dev/null | sed -n 's/^Version: //p'); do
      (cd "$dl" && apt-get source --download-only "$pkg=$v") >>"$log_dir/$pkg-source.log" 2>&1 || true
      find_orig_in "$dl" "$pkg" "$ver" >/dev/null && break
    done
  fi
  for f in "$dl/${pkg}_${ver}".orig.tar.* "$dl/${pkg}_${ver}"+*.orig.tar.*; do
    [[ -f $f && $f != *.asc ]] && mv "$f" "$src_cache/"
  done
  rm -rf "$dl"
  orig=$(find_orig "$pkg" "$ver") && return 0
  local served
  served=$(apt-cache showsrc "$pkg" 2>/dev/null | sed -n 's/^Version: //p' | head -n 1)
  die "no orig tarball of $pkg $ver from apt-get source (Debian serves ${served:-nothing})," \
    "see $log_dir/$pkg-source.log"
}

# --- prefix --------------------------------------------------------------------------------

# Relative .pc files keep working through the symlink and in a copied prefix; libtool archives
# and libpng-config hold absolute paths and nothing here uses them.
fix_pc_files() {
  local pc
  rm -f "$PREFIX"/lib/*.la "$PREFIX"/bin/*-config
  for pc in "$PREFIX"/lib/pkgconfig/*.pc; do
    [[ -f $pc ]] && sed -i "s|$PREFIX|\${pcfiledir}/../..|g" "$pc"
  done
  return 0
}

# How many leading lines two manifests share.
common_lines() {
  awk 'NR == FNR { a[FNR] = $0; n = FNR; next } FNR <= n && a[FNR] == $0 { c = FNR; next } { exit }
       END { print c + 0 }' <(printf '%s\n' "$1") <(printf '%s\n' "$2")
}

# Seeds a new prefix from the existing one that shares the longest leading run of the manifest
# (same toolchain, then the same libraries built the same way); the libraries after that run are
# removed from the copy by their file lists and built again.
seed_prefix() { # new prefix folder
  local into=$1 dir best='' best_n=1 n name
  for dir in "$cache/$target"-????????????????; do
    [[ ${dir##*/$target-} =~ ^[0-9a-f]{16}$ && $dir != "$PREFIX" && -f $dir/.zt-built ]] || continue
    n=$(common_lines "$manifest" "$(cat "$dir/.zt-built")")
    ((n > best_n)) || continue
    while read -r name _; do
      [[ -f $dir/.zt-files/$name ]] || continue 2
    done < <(tail -n +"$((n + 1))" "$dir/.zt-built")
    if ((n > best_n)); then
      best=$dir
      best_n=$n
    fi
  done
  [[ -n $best ]] || return 0
  cp -a "$best/." "$into/"
  tail -n +"$((best_n + 1))" "$best/.zt-built" | while read -r name _; do
    (cd "$into" && xargs -r -d '\n' rm -f <".zt-files/$name")
    rm -f "$into/.zt-files/$name"
  done
  find "$into" -mindepth 1 -type d -empty -delete
  head -n "$best_n" <<<"$manifest" >"$into/.zt-built"
  say "reusing $((best_n - 1)) libraries from $(basename "$best")"
}

point_link() {
  [[ $(readlink "$link" 2>/dev/null) == "$(basename "$PREFIX")" ]] && return 0
  [[ -e $link && ! -L $link ]] && die "$link exists and is not a symlink; move it away"
  ln -sfn "$(basename "$PREFIX")" "$link.new"
  mv -T "$link.new" "$link"
}

list_files() {
  (cd "$PREFIX" && find . -path ./.zt-files -prune -o ! -type d ! -name '.zt-*' -print | sort)
}

# Keeps the current prefix and the three most recently used others (another branch may want one).
prune_prefixes() {
  find "$cache" -mindepth 1 -maxdepth 1 -type d -regextype posix-extended \
    -regex ".*/$target-[0-9a-f]{16}" ! -path "$PREFIX" -printf '%T@ %p\n' |
    sort -rn | tail -n +4 | cut -d ' ' -f 2- | xargs -r -d '\n' rm -rf
}

build_one() { # name srcpkg version
  local name=$1 pkg=$2 ver=$3 src log rc
  fetch_orig "$pkg" "$ver"
  src=$work/$name
  log=$log_dir/$name.log
  rm -rf "$src"
  mkdir -p "$src"
  tar -xf "$orig" -C "$src" --strip-components=1 || die "cannot unpack $orig"
  set +e
  (
    set -e
    cd "$src"
    unset MAKEFLAGS PKG_CONFIG_PATH CFLAGS CXXFLAGS LDFLAGS CPPFLAGS
    if [[ $target == win64 ]]; then
      export PKG_CONFIG_LIBDIR=$PREFIX/lib/pkgconfig:$sysroot/lib/pkgconfig
    else
      export PKG_CONFIG_LIBDIR=$PREFIX/lib/pkgconfig
    fi
    export PKG_CONFIG_SYSROOT_DIR=
    # What this library installs, so that a prefix seeded from this one can drop it again; the
    # listing from before an interrupted attempt stays the reference.
    mkdir -p "$PREFIX/.zt-files"
    [[ -f $PREFIX/.zt-files/$name.before ]] || list_files >"$PREFIX/.zt-files/$name.before"
    "build_$name"
    fix_pc_files
    list_files | comm -13 "$PREFIX/.zt-files/$name.before" - >"$PREFIX/.zt-files/$name"
    rm "$PREFIX/.zt-files/$name.before"
  ) >"$log" 2>&1
  rc=$?
  set -e
  if [[ $rc -ne 0 ]]; then
    tail -n 30 "$log" >&2
    die "building $name $ver failed (full log: $log)"
  fi
  rm -rf "$src"
}

main() {
  mkdir -p "$cache" "$src_cache" "$log_dir"
  exec 9>"$cache/$target-deps.lock"
  flock 9 # two runs at once would build into one prefix

  manifest=$(manifest_lines)
  local key
  key=$(sha256sum <<<"$manifest" | cut -c1-16)
  PREFIX=$cache/$target-$key
  readonly PREFIX manifest

  if [[ ! -d $PREFIX ]]; then
    # Made whole under another name, then renamed: nothing in it holds its own path.
    local new=$PREFIX.new
    rm -rf "$new"
    mkdir -p "$new"
    seed_prefix "$new"
    printf '%s\n' "$manifest" >"$new/.zt-manifest"
    # The toolchain line is not a library: it counts as built once the prefix exists.
    [[ -f $new/.zt-built ]] || head -n 1 <<<"$manifest" >"$new/.zt-built"
    mv -T "$new" "$PREFIX"
  fi

  work=
  trap '[[ -n $work ]] && rm -rf "$work"' EXIT
  local i=1 entry name pkg ver line
  for entry in "${libs[@]}"; do
    read -r name pkg ver <<<"$entry"
    i=$((i + 1))
    line=$(sed -n "${i}p" <<<"$manifest")
    if grep -qxF "$line" "$PREFIX/.zt-built"; then
      say "$name $ver cached"
      continue
    fi
    [[ -n $work ]] || work=$(mktemp -d "$cache/$target-work.XXXXXX")
    local t0=$EPOCHREALTIME
    build_one "$name" "$pkg" "$ver"
    echo "$line" >>"$PREFIX/.zt-built"
    say "$name $ver built ($(seconds_since "$t0") s)"
  done

  point_link
  prune_prefixes
  say "$link -> $(basename "$PREFIX"), done in $(seconds_since "$t_start") s"
}

main "$@"
