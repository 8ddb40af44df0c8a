# A private X server for tests and scripts, whatever display or GPU the
# caller has (sourced, not run). Used by with-display.sh, xsession.sh and the
# end-to-end harness.

# Starts Xvfb at the given screen size (default 1280x1024) on a display number
# it picks itself and reports once it accepts connections (-displayfd), so
# parallel runs never share or race for a server. Sets PX_PID, exports
# DISPLAY, and makes GL use Mesa's software rasterizer: llvmpipe, or the
# Gallium driver the caller named (GALLIUM_DRIVER=softpipe). WAYLAND_DISPLAY
# is dropped so that no toolkit picks the caller's Wayland session instead.
# Xvfb's messages go to $2 (default /dev/null). Returns 1 when it fails.
px_start() {
  local size=${1:-1280x1024} log=${2:-/dev/null} number
  number=$(mktemp)
  Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp -noreset 3>"$number" >"$log" 2>&1 &
  PX_PID=$!
  for _ in $(seq 200); do
    [ -s "$number" ] && break
    kill -0 "$PX_PID" 2>/dev/null || break
    sleep 0.05
  done
  if [ ! -s "$number" ]; then
    rm -f "$number"
    px_stop
    echo "private-x: Xvfb did not start" >&2
    return 1
  fi
  export DISPLAY=:$(head -n1 "$number")
  rm -f "$number"
  unset WAYLAND_DISPLAY
  export LIBGL_ALWAYS_SOFTWARE=1
  export GALLIUM_DRIVER=${GALLIUM_DRIVER:-llvmpipe}
  # Marks the display as one of ours, for with-display.sh run inside it.
  export KNOLL_PRIVATE_DISPLAY=$DISPLAY
}

# True inside a display that px_start started (in this process or one above
# it), where a command can run directly.
px_inside() {
  [ -n "${KNOLL_PRIVATE_DISPLAY:-}" ] && [ "${DISPLAY:-}" = "$KNOLL_PRIVATE_DISPLAY" ] &&
    [ -e "/tmp/.X11-unix/X${DISPLAY#:}" ]
}

# Stops the server px_start started, if any.
px_stop() {
  [ -n "${PX_PID:-}" ] || return 0
  kill "$PX_PID" 2>/dev/null
  wait "$PX_PID" 2>/dev/null
  PX_PID=
}
