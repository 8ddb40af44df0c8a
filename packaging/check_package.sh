#!/usr/bin/env bash
# Checks the Debian package in BUILD_DIR with Debian's own tools: lintian on
# the .deb (errors and warnings fail), desktop-file-validate on the menu
# entry, appstreamcli on the metainfo and man's warnings on the manual page.
#   check_package.sh BUILD_DIR
set -u
build=$1
fail() { echo "check_package: $*" >&2; exit 1; }

debs=("$build"/knoll_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "want exactly one knoll_*.deb in $build"
deb=${debs[0]}
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root" || fail "cannot unpack $deb"

echo "check_package: lintian $(basename "$deb")"
lintian --fail-on error,warning --info "$deb" || fail "lintian found errors or warnings"

desktop-file-validate "$root/usr/share/applications/knoll.desktop" ||
  fail "desktop-file-validate rejects the menu entry"

metainfo=("$root"/usr/share/metainfo/*.metainfo.xml)
[ -f "${metainfo[0]}" ] || fail "no metainfo file"
appstreamcli validate --no-net "${metainfo[@]}" || fail "appstreamcli rejects the metainfo"

# man reports groff's complaints (bad macros, lines it cannot fit) on stderr.
page=$root/usr/share/man/man6/knoll.6.gz
[ -f "$page" ] || fail "no manual page"
warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "man warns: $warnings"
echo "check_package: $(basename "$deb") passes lintian, desktop-file-validate, appstreamcli and man"
