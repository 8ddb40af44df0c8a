# Shared by scripts/sanitize-run.sh, demo.sh and soak.sh (sourced, not run):
# a private Xvfb, the Knoll window, and real input through xdotool.

. "$(dirname "${BASH_SOURCE[0]}")/private-x.sh"

# Starts a private Xvfb (private-x.sh: software GL, never the caller's
# display) at the given screen size (default 1280x1024) and exports DISPLAY.
# xs_stop_x ends it.
xs_start_x() { px_start "${1:-1280x1024}"; }

# Makes a fresh working directory in XS_WORK and arranges that on exit the
# program with pid $pid is stopped, held keys are let go, Xvfb is stopped and
# the directory removed.
xs_session() {
  XS_WORK=$(mktemp -d)
  pid=
  trap xs_cleanup EXIT
}

xs_cleanup() {
  [ -n "${pid:-}" ] && kill "$pid" 2>/dev/null
  [ -n "${PX_PID:-}" ] && xdotool keyup Up Down Left Right 2>/dev/null
  xs_stop_x
  rm -rf "$XS_WORK"
}

xs_stop_x() { px_stop; }

# Waits (at most $1 seconds, default 30) for the window titled exactly Knoll,
# focuses it and sets XS_WIN. With no window manager, focus is given
# explicitly and never changes on its own.
xs_find_window() {
  local limit=${1:-30}
  XS_WIN=$(timeout "$limit" xdotool search --sync --name '^Knoll$' 2>/dev/null | head -1)
  [ -n "$XS_WIN" ] || { echo "xsession: no Knoll window within ${limit}s" >&2; return 1; }
  timeout 10 xdotool windowfocus --sync "$XS_WIN"
}

# Window-relative pointer moves with the right button held, in steps of at
# most 20 px, 50 ms apart: xs_drag X Y DX DY STEPS.
xs_drag() {
  local x=$1 y=$2 dx=$3 dy=$4 steps=$5 i
  # The pointer settles before the press, so the drag starts where asked.
  xdotool mousemove --window "$XS_WIN" "$x" "$y"
  sleep 0.1
  xdotool mousedown 3
  for i in $(seq "$steps"); do
    sleep 0.05
    xdotool mousemove_relative -- "$dx" "$dy"
  done
  sleep 0.05
  xdotool mouseup 3
}

# Holds a key for the given seconds: xs_hold KEY SECONDS.
xs_hold() {
  xdotool keydown "$1"
  sleep "$2"
  xdotool keyup "$1"
}

xs_key() { xdotool key "$@"; }

# Waits at most $2 seconds for process $1 to end; sets XS_STATUS to its exit
# status, or returns 1 (process left running) on timeout.
xs_wait_exit() {
  local pid=$1 limit=$2 i
  for i in $(seq $((limit * 10))); do
    if ! kill -0 "$pid" 2>/dev/null; then
      wait "$pid"
      XS_STATUS=$?
      return 0
    fi
    sleep 0.1
  done
  return 1
}

# Resident memory of a process in kB.
xs_rss() { awk '/^VmRSS:/ {print $2}' "/proc/$1/status" 2>/dev/null; }
