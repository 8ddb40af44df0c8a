#!/usr/bin/env bash
# Per-pass times of knoll_render at three poses (the start view, the later
# reference view from the west edge, a low flight over the middle), with the
# last frame and moment map of each kept in OUT_DIR for knoll_diff.
#
#   bench/poses.sh OUT_DIR [build-dir] [knoll_render options...]
#
# Prints, per pose, the wall-clock and the CPU-time (all threads) medians of
# each pass; CPU time is the figure to trust on a loaded machine.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$1
build=${2:-$root/build}
shift $(( $# >= 2 ? 2 : 1 ))
mkdir -p "$out"
frames=${FRAMES:-20}

poses=("start:--pos 16,8,32 --yaw 0 --pitch 0"
       "later:--pos 2,12,30 --yaw -0.7 --pitch -0.45"
       "low:--pos 12,5,22 --yaw 0.6 --pitch -0.25")

echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
for entry in "${poses[@]}"; do
  name=${entry%%:*}
  # shellcheck disable=SC2086
  bash "$root/scripts/with-display.sh" "$build/bench/knoll_render" ${entry#*:} \
    --frames "$frames" --png "$out/$name.png" --moments "$out/$name.raw" "$@" >"$out/$name.txt"
  printf '%-6s %s | %s\n' "$name" "$(grep ^pass_ms "$out/$name.txt" | cut -d' ' -f3-)" \
    "$(grep ^cpu_ms "$out/$name.txt" | cut -d' ' -f3-)"
done
