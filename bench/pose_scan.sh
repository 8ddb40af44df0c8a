#!/usr/bin/env bash
# Renders the scene from every pose of bench/poses.txt (camera near the
# ground, turned all round) at the default settings and reports each pose's
# frame time and the slowest; the goal is no frame over 1 s anywhere.
#
#   bench/pose_scan.sh [BUILD_DIR] [-- knoll_render options, e.g. --aniso 0]
#
# Without a fix for slow texture footprints a single pose could take a
# minute on some software rasterisers, so the whole scan is bounded by
# SCAN_TIMEOUT seconds (default 1800); the poses printed before a timeout
# are still valid.
set -u
top=$(cd "$(dirname "$0")/.." && pwd)
build=$top/build
if [ $# -gt 0 ] && [ "$1" != "--" ]; then build=$1; shift; fi
[ "${1:-}" = "--" ] && shift
render=$build/bench/knoll_render
[ -x "$render" ] || { echo "no knoll_render in $build/bench (make build)" >&2; exit 1; }
exec timeout "${SCAN_TIMEOUT:-1800}" bash "$top/scripts/with-display.sh" \
  "$render" --scan "$top/bench/poses.txt" --frames 1 --warmup 3 "$@"
