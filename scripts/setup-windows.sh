#!/usr/bin/env bash
# What the Windows build needs, from Debian only:
#   - the MinGW-w64 cross compiler (posix thread model), Wine, meson and
#     ninja, installed with apt-get when missing;
#   - GLFW, libepoxy and googletest built for Windows as static libraries
#     from Debian's own source packages, of the versions installed here for
#     the Linux build.
# The sources come through apt-get source with a private sources list under
# BUILD_DIR that names the mirror the system's apt uses (nothing system-wide
# changes); the .dsc is checked against the signed Sources index and the
# tarballs against the .dsc. Each library is built
# once into ${XDG_CACHE_HOME:-~/.cache}/knoll/windows-deps/<package>-<version>,
# so later builds and fresh clones reuse it without going to the network.
#
#   scripts/setup-windows.sh BUILD_DIR
# writes BUILD_DIR/deps.cmake, the initial cache naming those prefixes.
set -euo pipefail

# ------------------------------------------------------------ constants ----

ROOT=$(cd "$(dirname "$0")/.." && pwd)
TOOLCHAIN=$ROOT/cmake/mingw-w64-x86_64.cmake
MINGW=x86_64-w64-mingw32
CACHE=${XDG_CACHE_HOME:-$HOME/.cache}/knoll/windows-deps
JOBS=${JOBS:-2}
tools=(g++-mingw-w64-x86-64-posix wine wine64 meson ninja-build dpkg-dev)
# Source package and the installed binary package that names its version.
sources=(glfw3:libglfw3-dev libepoxy:libepoxy-dev googletest:googletest)

# ------------------------------------------------------------ functions ----

. "$ROOT/scripts/private-apt.sh"

say() { echo "setup-windows: $*" >&2; }

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'
}

install_tools() {
  local missing=() p sudo=""
  for p in "${tools[@]}"; do
    installed "$p" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { say "need root or sudo to install: ${missing[*]}"; exit 1; }
    sudo=sudo
  fi
  say "installing ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null
}

# Prints the system's Debian entries as source entries: deb822 stanzas with
# Types: deb-src, one-line entries as deb-src lines. Only entries whose URIs
# name a Debian archive are kept.
source_entries() {
  local f
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -e "$f" ] || continue
    awk 'BEGIN { RS = ""; ORS = "\n\n" }
         /(^|\n)Types:([^\n]* )?deb( |\n|$)/ && /(^|\n)URIs:[^\n]*debian/ {
           gsub(/(^|\n)Types:[^\n]*/, "\nTypes: deb-src"); sub(/^\n/, ""); print }' "$f"
  done >"$APT/sources.list.d/debian.sources"
  { cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null || true; } |
    awk '$1 == "deb" && /debian/ { $1 = "deb-src"; print }' >"$APT/sources.list"
  [ -s "$APT/sources.list.d/debian.sources" ] || [ -s "$APT/sources.list" ] ||
    { say "no Debian archive in the system's apt sources"; exit 1; }
}

private_lists() {
  [ -n "${lists_ready:-}" ] && return 0
  private_apt_reset
  source_entries
  say "fetching the source package lists of $(grep -hoE '^(URIs:|deb-src) .*' "$APT"/sources.list "$APT"/sources.list.d/* |
    grep -o 'http[^ ]*' | sort -u | tr '\n' ' ')"
  private_apt apt-get update -qq
  lists_ready=1
}

# Downloads pkg=version into $1 and unpacks it into $1/tree. Every file is
# checked against the signed Sources index (the maintainer's signature of
# the .dsc is not, which would need debian-keyring). A mirror that lacks the
# .dsc or the Debian tarball still yields the checked upstream tarball,
# built then without Debian's changes, which is said.
fetch_source() {
  local dir=$1 pkg=$2 version=$3
  private_lists
  rm -rf "$dir"
  mkdir -p "$dir"
  cd "$dir"
  local absent
  fetch_checked_source "$pkg" "$version"
  if [ ${#absent[@]} -eq 0 ]; then
    dpkg-source -x ./*.dsc tree >/dev/null 2>dpkg-source.err || { cat dpkg-source.err >&2; exit 1; }
  elif ls ./*.orig.tar.* >/dev/null 2>&1 &&
    ! printf '%s\n' "${absent[@]}" | grep -qv -e '\.dsc$' -e '\.debian\.tar\.'; then
    say "the mirror lacks ${absent[*]}: building $pkg from its checked upstream tarball alone"
    mkdir tree
    tar -xf "$(ls ./*.orig.tar.*)" -C tree --strip-components=1
  else
    cat apt.err >&2
    exit 1
  fi
  grep -F ".dsc" index.sha256 >dsc.sha256
  cd - >/dev/null
}

cmake_build() {
  local src=$1 prefix=$2
  shift 2
  cmake -S "$src" -B "$src/build-win" -G Ninja --toolchain "$TOOLCHAIN" \
    -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF \
    -DCMAKE_INSTALL_PREFIX="$prefix" "$@" >/dev/null
  cmake --build "$src/build-win" -j"$JOBS" >/dev/null
  cmake --install "$src/build-win" >/dev/null
}

build_glfw3() {
  cmake_build "$1" "$2" -DGLFW_BUILD_EXAMPLES=OFF -DGLFW_BUILD_TESTS=OFF -DGLFW_BUILD_DOCS=OFF
}

build_googletest() {
  cmake_build "$1" "$2" -DBUILD_GMOCK=OFF -DINSTALL_GTEST=ON
}

# libepoxy's meson build; a static library that loads opengl32.dll itself.
build_libepoxy() {
  local src=$1 prefix=$2
  cat >"$src/cross.ini" <<EOF
[binaries]
c = '$MINGW-gcc-posix'
ar = '$MINGW-ar'
strip = '$MINGW-strip'
windres = '$MINGW-windres'

[host_machine]
system = 'windows'
cpu_family = 'x86_64'
cpu = 'x86_64'
endian = 'little'
EOF
  meson setup "$src/build-win" "$src" --cross-file "$src/cross.ini" --prefix "$prefix" \
    --libdir lib --buildtype release -Ddefault_library=static \
    -Ddocs=false -Dtests=false -Dglx=no -Degl=no -Dx11=false >/dev/null
  ninja -C "$src/build-win" -j"$JOBS" >/dev/null
  meson install -C "$src/build-win" >/dev/null
}

# Adds the prefix of pkg, at the version installed through binary package
# bin, to prefixes, building it first unless the cache has it.
dependency() {
  local pkg=$1 bin=$2 version prefix
  version=$(dpkg-query -W -f='${source:Version}' "$bin" 2>/dev/null) ||
    { say "$bin is not installed (scripts/setup.sh installs it)"; exit 1; }
  prefix=$CACHE/$pkg-$version
  if [ ! -e "$prefix/dsc.sha256" ]; then
    say "building $pkg $version for Windows (once; kept in $CACHE)"
    local work=$BUILD/deps-src/$pkg
    fetch_source "$work" "$pkg" "$version"
    rm -rf "$prefix"
    "build_$pkg" "$work/tree" "$prefix"
    # Written last: a prefix without it is an interrupted build.
    cp "$work/dsc.sha256" "$prefix/"
    rm -rf "$work"
  fi
  prefixes+=("$prefix")
}

# ------------------------------------------------------------------ main ----

[ $# -eq 1 ] || { echo "usage: $0 BUILD_DIR" >&2; exit 2; }
mkdir -p "$1"
BUILD=$(cd "$1" && pwd)
APT=$BUILD/apt
install_tools
mkdir -p "$CACHE"
prefixes=()
for s in "${sources[@]}"; do
  dependency "${s%%:*}" "${s#*:}"
done
list=$(IFS=';'; echo "${prefixes[*]}")
cat >"$BUILD/deps.cmake.tmp" <<EOF
# Written by scripts/setup-windows.sh: the Windows builds of the libraries.
set(KNOLL_WINDOWS_DEPS "$list" CACHE STRING "Prefixes of the Windows libraries" FORCE)
EOF
if cmp -s "$BUILD/deps.cmake.tmp" "$BUILD/deps.cmake"; then
  rm "$BUILD/deps.cmake.tmp"
else
  mv "$BUILD/deps.cmake.tmp" "$BUILD/deps.cmake"
fi
