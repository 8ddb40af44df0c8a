#!/usr/bin/env bash
# Installs the build tree into a scratch prefix and checks the layout: the
# executable, a desktop entry that starts it, a 128 x 128 icon, the manual
# page, the AppStream metainfo and the copyright file.
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
# The icon is the logo's round badge, filling the square: clear in the
# corners, opaque from near the top edge to the centre.
if command -v convert >/dev/null; then
  alpha=$(convert "$icon" -format '%[fx:round(255*p{0,0}.a)] %[fx:round(255*p{64,16}.a)] %[fx:round(255*p{64,64}.a)]' info:)
  [ "$alpha" = "0 255 255" ] || fail "icon alpha at corner, top and centre is $alpha, not 0 255 255"
fi
page=$prefix/share/man/man6/knoll.6.gz
gzip -t "$page" 2>/dev/null || fail "share/man/man6/knoll.6.gz missing or not gzip"
zcat "$page" | head -1 | grep -q '^\.TH KNOLL 6 ' || fail "manual page lacks its .TH KNOLL 6 line"
[ "$(readlink "$prefix/share/man/man6/knoll-launch.6.gz")" = knoll.6.gz ] ||
  fail "knoll-launch.6.gz does not point to knoll.6.gz"
metainfo=("$prefix"/share/metainfo/*.metainfo.xml)
[ ${#metainfo[@]} -eq 1 ] && [ -f "${metainfo[0]}" ] || fail "want one metainfo file"
grep -q '<launchable type="desktop-id">knoll.desktop</launchable>' "${metainfo[0]}" ||
  fail "metainfo does not launch knoll.desktop"
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net "${metainfo[0]}" >/dev/null || fail "appstreamcli rejects the metainfo"
fi
head -1 "$prefix/share/doc/knoll/copyright" 2>/dev/null | grep -q '^Format: ' ||
  fail "share/doc/knoll/copyright missing or not in the machine-readable format"
# The launcher keeps the working files in the user's data folder.
home=$(mktemp -d)
printf '#!/bin/sh\npwd > "$HOME/started-in"\n' > "$prefix/bin/knoll"
HOME=$home XDG_DATA_HOME= PATH="$prefix/bin:$PATH" "$prefix/bin/knoll-launch" || fail "knoll-launch failed"
[ "$(cat "$home/started-in")" = "$home/.local/share/knoll" ] || fail "knoll-launch did not start knoll in ~/.local/share/knoll"
rm -rf "$home"
echo "install layout ok"
