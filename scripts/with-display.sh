#!/usr/bin/env bash
# Runs a command on a private Xvfb with Mesa's software rasterizer, never on
# the caller's display or GPU: tests show nothing on a person's screen and
# draw the same on every machine. Inside a display that with-display.sh
# itself started (ctest run by `make test` starts each test through it
# again), the command runs there directly.
set -u
. "$(dirname "$0")/private-x.sh"
if px_inside; then
  exec "$@"
fi
px_start || exit 1
trap px_stop EXIT
"$@"
