#!/usr/bin/env bash
# Compiles the sources that call GLFW against GLFW 3.4's headers, so that the
# code only GLFW 3.4 builds (Wayland's app_id, the platform hint) cannot rot
# where the system's GLFW is 3.3 (Debian 12, and the Windows libraries).
# The headers come from the upstream tarball of Debian 13's glfw3 source
# package, fetched through a private sources list under BUILD_DIR that names
# the Debian mirror the system already uses (scripts/private-apt.sh), and
# checked against the signed Sources index. They are kept in
# ${XDG_CACHE_HOME:-~/.cache}/knoll/glfw-headers/glfw3-<version>, so later
# runs compile at once without the network. Compile only: nothing is linked.
#
#   scripts/check-glfw34.sh BUILD_DIR
set -euo pipefail

# ------------------------------------------------------------ constants ----

ROOT=$(cd "$(dirname "$0")/.." && pwd)
SUITE=trixie
CACHE=${XDG_CACHE_HOME:-$HOME/.cache}/knoll/glfw-headers
KEYRING=/usr/share/keyrings/debian-archive-keyring.gpg
# Every source that includes GLFW's header: the tests' support and the
# window tests call GLFW as much as the program does.
sources=(src/app.cpp src/benchmark.cpp src/unattended.cpp src/main.cpp src/platform_posix.cpp
  src/platform_desktop.cpp src/gl_dialect_gl33.cpp src/gl_dialect_webgl2.cpp tests/gl_fixture.cpp
  tests/test_app.cpp)

# ------------------------------------------------------------ functions ----

. "$ROOT/scripts/private-apt.sh"

say() { echo "check-glfw34: $*" >&2; }

# The first Debian archive (not its security archive) among the system's apt
# sources, deb822 or one-line.
system_mirror() {
  {
    cat /etc/apt/sources.list.d/*.sources 2>/dev/null | awk '/^URIs:/ { for (i = 2; i <= NF; i++) print $i }'
    cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null |
      awk '$1 == "deb" { for (i = 2; i <= NF; i++) if ($i ~ /^[a-z+]+:\/\//) { print $i; break } }'
  } | grep '/debian/\?$' | head -n1
}

# Fetches the newest glfw3 source of SUITE, checks it against the signed
# index and keeps its include/ in the cache; prints that include directory.
fetch_headers() {
  local mirror version prefix work
  mirror=$(system_mirror)
  [ -n "$mirror" ] || { say "no Debian archive in the system's apt sources"; exit 1; }
  private_apt_reset
  local signed=""
  [ -f "$KEYRING" ] && signed="[signed-by=$KEYRING] "
  echo "deb-src ${signed}$mirror $SUITE main" >"$APT/sources.list"
  say "fetching the $SUITE source list from $mirror"
  private_apt apt-get update -qq
  version=$(private_apt apt-cache showsrc --only-source glfw3 | sed -n 's/^Version: //p' | sort -V | tail -n1)
  [ -n "$version" ] || { say "the mirror offers no glfw3 source for $SUITE"; exit 1; }
  prefix=$CACHE/glfw3-$version
  if [ ! -e "$prefix/include/GLFW/glfw3.h" ]; then
    work=$APT/glfw3
    mkdir -p "$work"
    local tarball
    (cd "$work" && fetch_checked_source glfw3 "$version")
    tarball=$(cd "$work" && ls ./*.orig.tar.* 2>/dev/null | head -n1)
    [ -n "$tarball" ] || { cat "$work/apt.err" >&2; say "glfw3 $version did not download"; exit 1; }
    rm -rf "$prefix.tmp"
    mkdir -p "$prefix.tmp"
    tar -xf "$work/$tarball" -C "$prefix.tmp" --strip-components=1 --wildcards '*/include/GLFW/*.h'
    rm -rf "$prefix"
    mv "$prefix.tmp" "$prefix"
  fi
  # The lists are needed no more: the cache answers from now on.
  rm -rf "$APT"
  echo "$prefix/include"
}

# The newest cached headers, when there are any.
cached_headers() {
  local dir
  dir=$(ls -d "$CACHE"/glfw3-*/include 2>/dev/null | sort -V | tail -n1)
  [ -n "$dir" ] && [ -e "$dir/GLFW/glfw3.h" ] && echo "$dir"
}

# "major minor" of the GLFW header found first on include path $1.
header_version() {
  printf '#include <GLFW/glfw3.h>\nGLFW_VERSION_MAJOR GLFW_VERSION_MINOR\n' |
    ${CXX:-g++} -E -P -DGLFW_INCLUDE_NONE -I"$1" -x c++ - | tail -n1
}

# ------------------------------------------------------------------ main ----

[ $# -eq 1 ] || { echo "usage: $0 BUILD_DIR" >&2; exit 2; }
mkdir -p "$1"
APT=$(cd "$1" && pwd)/glfw34-apt
include=$(cached_headers || fetch_headers)
read -r major minor < <(header_version "$include")
[ "$major" -gt 3 ] || [ "$minor" -ge 4 ] || { say "$include holds GLFW $major.$minor, not 3.4"; exit 1; }
say "compiling against GLFW $major.$minor ($include)"
flags=(-std=c++17 -fsyntax-only -Wall -Wextra -Werror -DGLFW_INCLUDE_NONE -DKNOLL_VERSION=\"check\"
  -DKNOLL_SOURCE_DIR=\"$ROOT\" -DKNOLL_BINARY_DIR=\"$1\" -I"$include" -I"$ROOT/src" -I/usr/include/stb
  $(pkg-config --cflags epoxy))
for s in "${sources[@]}"; do
  ${CXX:-g++} "${flags[@]}" "$ROOT/$s"
done
say "${#sources[@]} sources compile with GLFW $major.$minor"
