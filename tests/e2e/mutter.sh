#!/usr/bin/env bash
# knoll under GNOME's compositor, mutter, headless with one virtual monitor:
# starts with a decorated window (mutter draws no title bars, so libdecor
# must have loaded a decoration plugin into knoll), goes to full screen and
# back with F11, ends with Esc and status 0, and logs nothing. Keys come
# through mutter's remote desktop interface (mutter-keys.py). Run inside a
# D-Bus session (dbus-run-session) with XDG_RUNTIME_DIR set and no DISPLAY.
#
#   mutter.sh PATH/TO/knoll
set -u
knoll=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
here=$(cd "$(dirname "$0")" && pwd)
. "$here/harness.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/knoll-mutter.XXXXXX")
mutter_pid=

# The harness's cleanup ends knoll, then this ends mutter.
display_stop() {
    [ -n "$mutter_pid" ] || return 0
    kill "$mutter_pid" 2>/dev/null
    wait "$mutter_pid" 2>/dev/null
    mutter_pid=
}
trap cleanup EXIT

# A socket name of its own, so that knoll cannot reach another compositor.
export WAYLAND_DISPLAY=knoll-mutter-$$
mutter --headless --wayland --no-x11 --wayland-display "$WAYLAND_DISPLAY" \
    --virtual-monitor 1280x1024 >"$work/mutter.log" 2>&1 &
mutter_pid=$!
for _ in $(seq 100); do
    [ -S "$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY" ] && break
    sleep 0.1
done
[ -S "$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY" ] || fail "mutter did not start: $(tail -n3 "$work/mutter.log")"
note "$(mutter --version | head -n1), socket $WAYLAND_DISPLAY"

cd "$work" || fail "no working directory"
printf 'fps_limit 3\naniso_level 0\nwin_width 640\nwin_height 480\n' >config.txt
"$knoll" >/dev/null 2>&1 &
knoll_pid=$!
sleep 6
kill -0 "$knoll_pid" 2>/dev/null || fail "knoll ended at start-up"
grep -q '/libdecor/plugins-1/' "/proc/$knoll_pid/maps" || fail "no decoration plugin loaded"
note "decorations: $(grep -o 'libdecor/plugins-1/[^ ]*' "/proc/$knoll_pid/maps" | sort -u)"

printf '%s\n' "key 0xffc8 down" "key 0xffc8 up" "sleep 3" "key 0xffc8 down" "key 0xffc8 up" \
    "sleep 3" "key 0xff1b down" "key 0xff1b up" | python3 "$here/mutter-keys.py" ||
    fail "remote keys refused"
wait_exit 10
[ "$knoll_status" -eq 0 ] || fail "knoll exited with status $knoll_status"
[ ! -s error.log ] || fail "error.log after a clean run: $(head -n3 error.log)"
note "F11 twice and Esc: status 0, error.log empty"
echo "PASS: mutter"
