#!/usr/bin/env bash
# Installs the Debian packages Knoll needs to build, run and test.
# Does nothing when everything is already there.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  libglfw3-dev libepoxy-dev libstb-dev
  googletest libgtest-dev libbenchmark-dev
  libgl1-mesa-dri xvfb xdotool imagemagick x11-apps
  fonts-dejavu-core
  clang libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "setup: need root or sudo to install: ${missing[*]}" >&2; exit 1; }
  sudo=sudo
fi
echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
