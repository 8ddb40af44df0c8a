#!/usr/bin/env bash
# Runs a command with an X display: the caller's when it answers, else a
# private Xvfb started for the command and stopped after it.
set -u
display=${DISPLAY:-}
display=${display%%.*}
if [ -n "$display" ] && [ -e "/tmp/.X11-unix/X${display#*:}" ]; then
  exec "$@"
fi
for n in $(seq 90 119); do
  [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ] || break
done
Xvfb :$n -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null; wait $xvfb 2>/dev/null' EXIT
for _ in $(seq 100); do
  [ -e /tmp/.X11-unix/X$n ] && break
  sleep 0.05
done
DISPLAY=:$n "$@"
