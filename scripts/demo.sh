#!/usr/bin/env bash
# A scripted flight through Knoll under a private Xvfb, with real input from
# xdotool, saving numbered screenshots of the window to run/shots/.
#   demo.sh [BUILD_DIR]
set -u
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$top/build}" && pwd)
. "$top/scripts/xsession.sh"
shots=$top/run/shots
mkdir -p "$shots"
rm -f "$shots"/*.png

# A working directory of its own, so the user's config.txt is not rewritten
# and the window has its default size.
xs_session
work=$XS_WORK
fail() {
  echo "demo: FAIL: $*" >&2
  [ -s "$work/error.log" ] && cat "$work/error.log" >&2
  exit 1
}

shot=0
snap() {
  shot=$((shot + 1))
  local file
  file=$(printf '%s/%02d-%s.png' "$shots" "$shot" "$1")
  import -window "$XS_WIN" "$file" || fail "import failed"
  echo "demo: $(basename "$file")"
}

# Waits (at most $1 seconds) until the window shows more than a black frame:
# the logo screen has begun.
wait_for_logo() {
  local grab=$work/grab.png mean i
  for i in $(seq $(($1 * 5))); do
    import -window "$XS_WIN" "$grab" 2>/dev/null &&
      mean=$(convert "$grab" -format '%[fx:mean>0.005]' info:) && [ "$mean" = 1 ] && return 0
    sleep 0.2
  done
  return 1
}

xs_start_x 1280x1024 || exit 1
cd "$work"
"$build/knoll" &
pid=$!
xs_find_window 30 || fail "no window"
sleep 0.5
# The logo lasts two seconds from the start of the loop, which follows the
# window by the shader and texture set-up: slow on a software renderer. The
# frame counter shows a real rate from half a second into the loop on.
wait_for_logo 30 || fail "no logo"
sleep 1
snap logo
sleep 4
snap start-view

# Look left and a little down: right button held, 20 px steps 50 ms apart.
xs_drag 400 300 -20 4 12
sleep 1
snap turned

# Fly forward over the hills, drifting right.
xdotool keydown Up
sleep 1.5
xdotool keydown Right
sleep 0.5
xdotool keyup Right
sleep 0.5
xdotool keyup Up
sleep 1
snap over-the-hills

# A software renderer on a busy machine may take most of a second per frame.
xs_key r
sleep 1.5
snap grid

xs_key f
sleep 1.5
snap new-light

xs_key Escape
xs_wait_exit "$pid" 20 || fail "still running 20 s after Esc"
pid=
[ "$XS_STATUS" -eq 0 ] || fail "exit status $XS_STATUS"
grep -q 'OpenGL Error' error.log 2>/dev/null && fail "OpenGL error logged"
echo "demo: $shot screenshots in ${shots#$top/}/, exit 0"
