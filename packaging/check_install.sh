#!/usr/bin/env bash
# Installs the build tree into a scratch prefix and checks the layout: the
# executable, a desktop entry that starts it, and a 128 x 128 icon.
#   check_install.sh BUILD_DIR
set -u
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
fail() { echo "check_install: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null || fail "cmake --install failed"
[ -x "$prefix/bin/knoll" ] || fail "bin/knoll missing or not executable"
[ -x "$prefix/bin/knoll-launch" ] || fail "bin/knoll-launch missing or not executable"
desktop=$prefix/share/applications/knoll.desktop
[ -f "$desktop" ] || fail "share/applications/knoll.desktop missing"
head -1 "$desktop" | grep -qx '\[Desktop Entry\]' || fail "desktop file lacks its group header"
for line in 'Type=Application' 'Name=Knoll' 'Exec=knoll-launch' 'Icon=knoll'; do
  grep -qx "$line" "$desktop" || fail "desktop file lacks $line"
done
grep -q '^Categories=\(.*;\)\?Graphics;' "$desktop" || fail "desktop file not in Graphics"
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$desktop" || fail "desktop-file-validate rejects the entry"
fi
icon=$prefix/share/icons/hicolor/128x128/apps/knoll.png
[ -f "$icon" ] || fail "icon missing"
# PNG signature, then the IHDR width and height as big-endian words.
sig=$(od -An -tx1 -N8 "$icon" | tr -d ' \n')
[ "$sig" = 89504e470d0a1a0a ] || fail "icon is not a PNG"
dims=$(od -An -tu1 -j16 -N8 "$icon" | awk '{print $1*16777216+$2*65536+$3*256+$4 "x" $5*16777216+$6*65536+$7*256+$8}')
[ "$dims" = 128x128 ] || fail "icon is $dims, not 128x128"
# The launcher keeps the working files in the user's data folder.
home=$(mktemp -d)
printf '#!/bin/sh\npwd > "$HOME/started-in"\n' > "$prefix/bin/knoll"
HOME=$home XDG_DATA_HOME= PATH="$prefix/bin:$PATH" "$prefix/bin/knoll-launch" || fail "knoll-launch failed"
[ "$(cat "$home/started-in")" = "$home/.local/share/knoll" ] || fail "knoll-launch did not start knoll in ~/.local/share/knoll"
rm -rf "$home"
echo "install layout ok"
