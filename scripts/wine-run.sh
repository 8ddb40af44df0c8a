#!/usr/bin/env bash
# Runs a Windows program under Wine the way the tests need it: on a private
# Xvfb with Mesa's software rasterizer (through with-display.sh, never the
# caller's display), in the Wine prefix DIR of the build tree, made on first
# use. Wine says nothing and opens no dialog: no debug channels, no offer to
# install Mono or Gecko, and no debugger or crash dialog for a program that
# crashes, which just ends with its exception's code (0xC0000005, a page
# fault, is status 5).
#
#   scripts/wine-run.sh --prefix DIR PROGRAM.exe [ARGUMENTS...]
# Returns the program's exit status.
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/private-x.sh"

# ------------------------------------------------------------ functions ----

# Makes the prefix once; parallel first runs wait for the one that makes it.
prefix_ready() {
  [ -e "$WINEPREFIX/knoll-ready" ] && return 0
  mkdir -p "$WINEPREFIX"
  (
    flock 9
    [ -e "$WINEPREFIX/knoll-ready" ] && exit 0
    wineboot --init >/dev/null 2>&1 &&
      wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
        >/dev/null 2>&1 &&
      wineserver -w && touch "$WINEPREFIX/knoll-ready"
  ) 9>"$WINEPREFIX.lock"
  [ -e "$WINEPREFIX/knoll-ready" ] || { echo "wine-run: cannot make the prefix $WINEPREFIX" >&2; return 1; }
}

# ------------------------------------------------------------------ main ----

[ "${1:-}" = --prefix ] && [ $# -ge 3 ] ||
  { echo "usage: $0 --prefix DIR PROGRAM.exe [ARGUMENTS...]" >&2; exit 2; }
mkdir -p "$2"
export WINEPREFIX
WINEPREFIX=$(cd "$2" && pwd)
shift 2
export WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"

# Outside a private display, start one for this program alone, and end the
# prefix's Wine processes with it.
if ! px_inside; then
  KNOLL_WINE_ALONE=1 exec bash "$here/with-display.sh" bash "$0" --prefix "$WINEPREFIX" "$@"
fi
prefix_ready || exit 1
# The Wine session (server and services) starts with the first program and
# keeps that program's output open for as long as it lasts, so a program of
# no interest starts it; under ctest, a test would otherwise last as long as
# every test after it.
wine cmd /c exit </dev/null >/dev/null 2>&1
if [ -z "${KNOLL_WINE_ALONE:-}" ]; then
  exec wine "$@"
fi
wine "$@"
status=$?
wineserver -k 2>/dev/null
exit $status
