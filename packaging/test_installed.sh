#!/usr/bin/env bash
# The install-run-remove cycle of the Debian package, as root on a throwaway
# Debian machine (packaging/package-test.sh runs it in fresh roots):
#  1. takes away the libraries the package depends on, which the build
#     brought in, so that installing it must bring them back;
#  2. installs BUILD_DIR/knoll_*.deb with apt-get;
#  3. starts the menu entry's command under Xvfb from an empty HOME, checks
#     that the window shows the logo, quits with Esc and wants status 0;
#  4. checks that config.txt, help.txt and error.log are in ~/.local/share/knoll;
#  5. removes the package and checks that none of its files is left.
#   test_installed.sh BUILD_DIR
set -u
build=$1
say() { echo "package-test: $*"; }
fail() {
  echo "package-test: FAIL: $*" >&2
  [ -n "${data:-}" ] && [ -s "$data/error.log" ] && sed 's/^/  error.log: /' "$data/error.log" >&2
  exit 1
}
export DEBIAN_FRONTEND=noninteractive

debs=("$build"/knoll_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "want exactly one knoll_*.deb in $build"
deb=$(cd "$(dirname "${debs[0]}")" && pwd)/$(basename "${debs[0]}")
. /etc/os-release
say "Debian ${VERSION_ID:-?} (${VERSION_CODENAME:-?}), $(basename "$deb")"

# ---- 1. the dependencies go, except the base system's ----
depends=$(dpkg-deb -f "$deb" Depends | tr ',' '\n' | sed 's/^ *//; s/[ (:].*//' | grep -v '^$')
[ -n "$depends" ] || fail "the package declares no dependencies"
say "depends on: $(echo $depends)"
removable=()
for p in $depends; do
  # The C and C++ run-times stay: apt itself needs them.
  case $p in libc6 | libgcc-s1 | libstdc++6) continue ;; esac
  kind=$(dpkg-query -W -f='${Essential} ${Priority}' "$p" 2>/dev/null) || continue
  case $kind in yes* | *required | *important) continue ;; esac
  removable+=("$p")
done
if [ ${#removable[@]} -gt 0 ]; then
  apt-get purge -y -qq --autoremove "${removable[@]}" >/dev/null || fail "cannot remove ${removable[*]}"
  say "removed before the install: ${removable[*]}"
fi

# ---- 2. the install brings them back ----
apt-get install -y -qq --no-install-recommends "$deb" >/dev/null || fail "apt-get install $deb failed"
for p in $depends; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' ||
    fail "dependency $p not installed with the package"
done
files=$(dpkg -L knoll) || fail "dpkg does not know knoll"
[ "$(command -v knoll)" = /usr/bin/knoll ] || fail "knoll is not /usr/bin/knoll"
say "installed with its dependencies"

# The tools of the test itself come after, so they cannot stand in for a
# missing dependency.
apt-get install -y -qq --no-install-recommends xvfb xdotool imagemagick >/dev/null ||
  fail "cannot install the test's tools"

# ---- 3. the menu entry's command under Xvfb ----
desktop=/usr/share/applications/knoll.desktop
command=$(sed -n 's/^Exec=//p' "$desktop")
[ -n "$command" ] || fail "no Exec line in $desktop"
home=$(mktemp -d)
shots=$(mktemp -d)
data=$home/.local/share/knoll
xvfb= pid=
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
  rm -rf "$home" "$shots"
}
trap cleanup EXIT
number=$shots/display
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$number" >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 200); do
  [ -s "$number" ] && break
  sleep 0.05
done
[ -s "$number" ] || fail "Xvfb did not come up"
export DISPLAY=:$(head -n1 "$number")
(cd / && env -u XDG_DATA_HOME HOME="$home" $command) &
pid=$!
say "started '$command' with HOME=$home"

# The logo screen: a mostly black 800 x 600 window with the green wordmark.
# Returns 0 when the picture is that. Counts with python3, as ImageMagick's
# own expressions print differently from one version to the next.
shows_logo() {
  local counts
  counts=$(convert "$1" -crop 800x600+0+0 +repage -depth 8 rgb:- | python3 -c '
import sys
data = sys.stdin.buffer.read()
lit = green = 0
for r, g, b in zip(data[0::3], data[1::3], data[2::3]):
    if r + g + b > 60:
        lit += 1
        if g > 115 and g > r + 25 and g > b + 50:
            green += 1
print(lit, green)') || return 1
  set -- $counts
  # The logo and the frame counter light about 3 % of the window.
  [ "$1" -gt 2400 ] && [ "$1" -lt 48000 ] || return 1
  say "logo check: $1 of 480000 pixels lit, $2 of them wordmark-green"
  [ "$2" -ge 1000 ]
}
# Shots for 15 s from the moment the window exists (the logo shows for two
# seconds once the set-up is done), looked at afterwards: looking takes
# longer than a shot.
window=$(timeout 60 xdotool search --sync --name '^Knoll$' 2>/dev/null | head -1)
[ -n "$window" ] || fail "no window titled Knoll within 60 s"
end=$((SECONDS + 15))
n=0
while [ $SECONDS -lt $end ] && kill -0 "$pid" 2>/dev/null; do
  n=$((n + 1))
  import -window root "$shots/$(printf %03d $n).png" 2>/dev/null
  sleep 0.1
done
seen=
for shot in "$shots"/[0-9]*.png; do
  shows_logo "$shot" && {
    seen=$(basename "$shot" .png)
    break
  }
done
[ -n "$seen" ] || fail "none of the $n shots of the window shows the logo"
say "shot $seen of $n shows the logo"

xdotool windowfocus --sync "$window" && xdotool key Escape
status=
for i in $(seq 600); do
  if ! kill -0 "$pid" 2>/dev/null; then
    wait "$pid"
    status=$?
    break
  fi
  sleep 0.1
done
pid=
[ -n "$status" ] || fail "still running 60 s after Esc"
[ "$status" -eq 0 ] || fail "exit status $status after Esc"
say "Esc closed it with status 0"

# ---- 4. the three files in the user's data folder ----
for f in config.txt help.txt error.log; do
  [ -f "$data/$f" ] || fail "$f is not in ~/.local/share/knoll"
done
grep -qx 'win_width 800' "$data/config.txt" || fail "config.txt lacks the default win_width"
head -2 "$data/help.txt" | grep -qx 'Controls' || fail "help.txt does not start with the controls"
grep -q 'failed!' "$data/error.log" && fail "error.log reports a failed start"
for f in config.txt help.txt error.log; do
  [ -e "$home/$f" ] || [ -e "/$f" ] && fail "$f landed outside ~/.local/share/knoll"
done
say "config.txt, help.txt and error.log ($(wc -l <"$data/error.log") lines) are in ~/.local/share/knoll"
sed 's/^/package-test:   error.log: /' "$data/error.log"

# ---- 5. removal leaves nothing of the package ----
apt-get remove -y -qq knoll >/dev/null || fail "apt-get remove knoll failed"
left=()
while IFS= read -r path; do
  [ -n "$path" ] && [ "$path" != /. ] || continue
  if [ -L "$path" ] || [ -f "$path" ]; then
    left+=("$path")
  elif [ -d "$path" ] && [[ "$path" == *knoll* ]]; then
    left+=("$path/")
  fi
done <<<"$files"
[ ${#left[@]} -eq 0 ] || fail "left after removal: ${left[*]}"
if dpkg-query -W -f='${Status}' knoll 2>/dev/null | grep -q 'ok installed'; then
  fail "dpkg still lists knoll: $(dpkg-query -W -f='${Status}' knoll)"
fi
say "apt-get remove left no file of the package ($(echo "$files" | wc -l) paths checked)"
say "PASS on Debian ${VERSION_ID:-?}"
