#!/usr/bin/env bash
# Installs the Debian packages that `make package` needs besides a C++
# compiler: the build's libraries, dpkg-dev for the package's dependencies
# (dpkg-shlibdeps), and Debian's own checkers (lintian, desktop-file-validate,
# appstreamcli, man). Does nothing when everything is already there.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  libglfw3-dev libepoxy-dev libstb-dev
  dpkg-dev file lintian desktop-file-utils appstream man-db
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
  command -v sudo >/dev/null || { echo "setup-package: need root or sudo to install: ${missing[*]}" >&2; exit 1; }
  sudo=sudo
fi
echo "setup-package: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
