#!/usr/bin/env bash
# Compares Knoll's frame time with glmark2's terrain scene on the same display
# and GL driver, all under one X server:
#   1. knoll_render at 800x600 with aniso_level 0 against
#      glmark2 terrain without bloom and tilt-shift (goal: ratio <= 0.5);
#   2. knoll_render with the default configuration against
#      glmark2's default terrain (goal: ratio < 1).
# Then samples a run of knoll_render with perf to say how much of the frame's
# CPU time is spent in Knoll's own code rather than in the GL driver.
#
# Usage: bench/compare_glmark2.sh [build-dir]   (default: build)
# Environment: FRAMES (30) and WARMUP (3) for knoll_render.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
render=$build/bench/knoll_render
frames=${FRAMES:-30}
warmup=${WARMUP:-3}

# ------------------------------------------------------------ set-up ----
if [ -z "${KNOLL_COMPARE_INNER:-}" ]; then
  [ -x "$render" ] || { echo "no $render; build the project first" >&2; exit 1; }
  if ! command -v glmark2 >/dev/null; then
    apt-get install -y glmark2-x11 >/dev/null
  fi
  # One private Xvfb with software GL for every run.
  exec env KNOLL_COMPARE_INNER=1 bash "$root/scripts/with-display.sh" bash "$0" "$build"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# ------------------------------------------------------------ helpers ----

# knoll_render's mean and median frame time (ms) and its start-up time.
knoll() {
  "$render" --frames "$frames" --warmup "$warmup" "$@" | tee -a knoll.log |
    awk '/^frame_ms/ {mean = $9; median = $3} /^startup_ms/ {start = $2}
         END {print mean, median, start}'
}

# glmark2's mean frame time (ms) for one benchmark description.
glmark() {
  glmark2 -s 800x600 -b "$1" 2>&1 | tee -a glmark2.log |
    awk '/FrameTime:/ {for (i = 1; i < NF; i++) if ($i == "FrameTime:") print $(i + 1)}'
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a / b}'; }

# ---------------------------------------------------------- comparisons ----
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
read -r k1 k1_median startup < <(knoll --aniso 0)
g1=$(glmark terrain:bloom=false:tilt-shift=false)
read -r k2 k2_median _ < <(knoll)
g2=$(glmark terrain)

printf '\n%-46s %10s %10s\n' "" "mean ms" "median ms"
printf '%-46s %10s %10s\n' "knoll_render --aniso 0" "$k1" "$k1_median"
printf '%-46s %10s\n' "glmark2 terrain:bloom=false:tilt-shift=false" "$g1"
printf '%-46s %10s %10s\n' "knoll_render (default configuration)" "$k2" "$k2_median"
printf '%-46s %10s\n' "glmark2 terrain" "$g2"
echo
echo "ratio aniso 0 / plain terrain:  $(ratio "$k1" "$g1")  (goal <= 0.5)"
echo "ratio default / default terrain: $(ratio "$k2" "$g2")  (goal < 1)"
echo "knoll start-up to first logo frame: ${startup} ms"

# ------------------------------------------------------ our code's share ----
# Sampling starts after start-up and warm-up, so only steady frames count.
# knoll_render holds knoll_core statically; libepoxy is the GL dispatch; the
# rest is Mesa (its JIT-compiled shaders included), LLVM, libc and the kernel.
if command -v perf >/dev/null; then
  delay=$(awk -v s="$startup" -v f="$k2_median" -v w="$warmup" \
    'BEGIN {printf "%d", s * 1.5 + f * (w + 1) + 200}')
  if perf record -q -F 997 -D "$delay" -o perf.data -- "$render" --frames "$frames" \
      --warmup "$warmup" >/dev/null 2>perf.err; then
    perf report -i perf.data --sort dso --stdio 2>/dev/null |
      awk -v exe="$(basename "$render")" \
        -v samples="$(perf script -i perf.data -F ip 2>/dev/null | wc -l)" '
        /^ +[0-9.]+%/ {
          share = $1; sub(/%/, "", share); total += share
          if ($2 == exe) own += share
          else if ($2 ~ /^libepoxy/) epoxy += share
        }
        END {
          printf "\nCPU samples of steady frames (perf, all threads, %s samples):\n", samples
          printf "  knoll code (knoll_core + tool): %6.2f%%\n", own
          printf "  GL dispatch (libepoxy):         %6.2f%%\n", epoxy
          printf "  driver and system:              %6.2f%%\n", total - own - epoxy
        }'
    perf report -i perf.data --sort dso --stdio 2>/dev/null | grep -E '^ +[0-9.]+%' | head -8
  else
    echo "perf could not sample here: $(head -1 perf.err)"
  fi
else
  echo "perf is not installed; own-code share not measured"
fi
