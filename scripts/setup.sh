#!/usr/bin/env bash
# Installs the packages Knoll needs to build, run and test, on any system with
# apt (Debian 12 and 13, Ubuntu 22.04 and 24.04). Names that carry a version
# are picked from what the system offers. Does nothing when everything is
# already there. Packages named on the command line are installed as well
# (`make test-trixie` asks for debootstrap this way).
#
# Elsewhere it prints what to install, by purpose, and stops; after installing
# those, KNOLL_NO_SETUP=1 skips this step.
set -euo pipefail

# ------------------------------------------------------------- packages ----

build=(build-essential cmake pkg-config)
libraries=(libglfw3-dev libepoxy-dev libstb-dev)
testing=(googletest libgtest-dev libbenchmark-dev)
display=(libgl1-mesa-dri xvfb xdotool imagemagick x11-apps x11-utils x11-xserver-utils fonts-dejavu-core)
fuzzing=(clang)

# ------------------------------------------------------------ functions ----

say() { echo "setup: $*" >&2; }

print_needs() {
  cat >&2 <<'EOF'
Knoll needs, by purpose:
  build:    a C++17 compiler, make, CMake 3.18 or later, pkg-config
  program:  GLFW 3.3 or 3.4 (development files), libepoxy (development files),
            stb (stb_image.h, stb_image_write.h and the stb library); with a
            GLFW that uses libdecor, a libdecor plugin (cairo or gtk)
  tests:    GoogleTest, Google Benchmark, Mesa's OpenGL drivers (llvmpipe),
            Xvfb, xdotool, ImageMagick, xwd, xprop, xrdb, the DejaVu fonts
  optional: clang with its libFuzzer runtime (compiler-rt) for the fuzz targets
EOF
}

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'
}

# True when apt knows a package of that name.
offered() {
  apt-cache show --no-all-versions "$1" >/dev/null 2>&1
}

# True when clang's resource directory holds a libFuzzer runtime.
fuzzer_runtime_present() {
  command -v clang >/dev/null || return 1
  local dir
  dir=$(clang -print-resource-dir 2>/dev/null) || return 1
  find "$dir/lib" -name 'libclang_rt.fuzzer*.a' 2>/dev/null | grep -q .
}

# The compiler-rt package that matches the installed clang's major version.
fuzzer_runtime_package() {
  local major
  major=$(clang -dumpversion 2>/dev/null | cut -d. -f1)
  [ -n "$major" ] || return 1
  local name
  for name in "libclang-rt-$major-dev" "libclang-common-$major-dev"; do
    if offered "$name"; then
      echo "$name"
      return 0
    fi
  done
  return 1
}

# Installs the named packages, updating the package lists first once per run.
updated=0
apt_install() {
  apt_update
  apt_get_install "$@"
}

apt_get_install() {
  say "installing $*"
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "$@" >/dev/null
}

apt_update() {
  [ $updated -eq 1 ] && return 0
  $sudo apt-get update -qq
  updated=1
}

# Makes sure apt's package lists exist (a fresh root has none) before asking
# apt-cache about names.
apt_lists_ready() {
  ls /var/lib/apt/lists/ 2>/dev/null | grep -q '_Packages' || apt_update
}

# Sets sudo for installing; false when neither root nor sudo is at hand.
can_install() {
  if [ "$(id -u)" -eq 0 ]; then
    sudo=""
  elif command -v sudo >/dev/null; then
    sudo=sudo
  else
    return 1
  fi
}

# ------------------------------------------------------------------ main ----

[ "${KNOLL_NO_SETUP:-0}" = 1 ] && exit 0
if ! command -v apt-get >/dev/null || ! command -v dpkg-query >/dev/null; then
  say "this system has no apt; install these with its own package manager:"
  print_needs
  say "then run make with KNOLL_NO_SETUP=1"
  exit 1
fi

sudo=""
missing=()
for p in "${build[@]}" "${libraries[@]}" "${testing[@]}" "${display[@]}" "${fuzzing[@]}" "$@"; do
  installed "$p" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  can_install || { say "need root or sudo to install: ${missing[*]}"; exit 1; }
  apt_install "${missing[@]}"
fi

# GLFW 3.4 decorates Wayland windows through libdecor, which needs a plugin:
# without one, GNOME's windows get no title bar and every start logs that no
# plugin was found. Debian's GLFW only recommends one.
if dpkg-query -W -f='${Depends}' libglfw3 2>/dev/null | grep -q libdecor &&
  ! installed libdecor-0-plugin-1-cairo && ! installed libdecor-0-plugin-1-gtk; then
  can_install || { say "need root or sudo to install libdecor-0-plugin-1-cairo"; exit 1; }
  apt_install libdecor-0-plugin-1-cairo
fi

# The fuzz targets are optional: without a libFuzzer runtime they are skipped.
# A runtime package that is offered but already installed is not asked for
# again, and the lists are only fetched when there are none, so a system
# without a runtime does not run apt at every build.
if ! fuzzer_runtime_present; then
  if can_install && apt_lists_ready && runtime=$(fuzzer_runtime_package) &&
    ! installed "$runtime" && apt_get_install "$runtime" && fuzzer_runtime_present; then
    :
  else
    say "no libFuzzer runtime for $(clang --version 2>/dev/null | head -n1) here: the fuzz targets will be skipped"
  fi
fi
exit 0
