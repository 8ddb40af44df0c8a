#!/usr/bin/env bash
# Makes the pictures that show Knoll in the README, on the site and in the
# Debian package's AppStream data: docs/screenshot.png, the start view as
# `knoll --screenshot` draws it, and docs/flight.png, the demo's flight over
# the hills (scripts/demo.sh). Both are made on Mesa's software renderer,
# whose few frames a second say nothing of Knoll on a GPU, so each goes
# without the frame counter's line across the top.
#   showcase.sh [BUILD_DIR]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$top/build}" && pwd)

# ------------------------------------------------------------ constants ----

# The rows of the frame counter's line: its glyphs are 16 pixels high and
# 2 below the window's top; the sky takes the spare rows.
COUNTER_ROWS=20

# ------------------------------------------------------------ functions ----

# Whether the picture $1 shows more than the sky: the demo's flight depends
# on the frame rate, and where the view ends up under the ground it shows
# the sky alone.
shows_scene() { [ "$(convert "$1" -format '%[fx:standard_deviation>0.02]' info:)" = 1 ]; }

# The picture $1 without the frame counter's line, as $2.
below_counter() {
    convert "$1" -gravity north -chop "0x$COUNTER_ROWS" +repage "$2"
    echo "showcase: ${2#"$top"/}, $(identify -format '%w x %h' "$2")"
}

# ------------------------------------------------------------------ main ----

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$work" && bash "$top/scripts/with-display.sh" "$build/knoll" --screenshot start.png)
bash "$top/scripts/demo.sh" "$build"
flight=$(ls "$top"/run/shots/*-over-the-hills.png)
shows_scene "$flight" || { echo "showcase: the flight ended under the ground; run it again" >&2; exit 1; }
below_counter "$work/start.png" "$top/docs/screenshot.png"
below_counter "$flight" "$top/docs/flight.png"
