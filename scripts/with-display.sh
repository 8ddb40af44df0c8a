#!/usr/bin/env bash
# Runs a command with an X display: the caller's when it answers, else a
# private Xvfb started for the command and stopped after it.
set -u
display=${DISPLAY:-}
display=${display%%.*}
if [ -n "$display" ] && [ -e "/tmp/.X11-unix/X${display#*:}" ]; then
  exec "$@"
fi
# Xvfb picks a free display number itself and reports it once it accepts
# connections, so parallel runs never share or race for a server.
number=$(mktemp)
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$number" >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null; wait $xvfb 2>/dev/null; rm -f "$number"' EXIT
for _ in $(seq 200); do
  [ -s "$number" ] && break
  kill -0 $xvfb 2>/dev/null || { echo "with-display: Xvfb did not start" >&2; exit 1; }
  sleep 0.05
done
[ -s "$number" ] || { echo "with-display: Xvfb reported no display" >&2; exit 1; }
DISPLAY=:$(head -n1 "$number") "$@"
