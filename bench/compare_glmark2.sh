#!/usr/bin/env bash
# Compares Knoll's frame time with glmark2's terrain scene on the same display
# and GL driver, all under one X server:
#   1. knoll_render at 800x600 with aniso_level 0 against
#      glmark2 terrain without bloom and tilt-shift (goal: ratio <= 0.6);
#   2. knoll_render with the default configuration against
#      glmark2's default terrain (goal: ratio <= 0.5 where the driver's
#      anisotropic filter costs what it should, Debian 13).
# Each pair is compared twice: by wall-clock frame time, and by CPU time per
# frame (all threads, the software rasteriser's included), which holds up
# better when other work shares the machine. glmark2's CPU per frame is the
# difference of two runs of different length, so its start-up cancels.
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

# knoll_render's mean and median frame time (ms), its start-up time and its
# median CPU time per frame (ms).
knoll() {
  "$render" --frames "$frames" --warmup "$warmup" "$@" | tee -a knoll.log |
    awk '/^frame_ms/ {mean = $9; median = $3} /^startup_ms/ {start = $2}
         /^cpu_frame_ms/ {cpu = $3} END {print mean, median, start, cpu}'
}

# glmark2's mean frame time (ms) for one benchmark description.
glmark() {
  glmark2 -s 800x600 -b "$1" 2>&1 | tee -a glmark2.log |
    awk '/FrameTime:/ {for (i = 1; i < NF; i++) if ($i == "FrameTime:") print $(i + 1)}'
}

# glmark2's CPU time per frame (ms) for one benchmark description: runs of
# 4 and 12 seconds, frames from the reported frame time.
glmark_cpu() {
  for d in 4 12; do
    # The subshell's second line of times: its children's user and system
    # time, all threads of glmark2 included.
    (glmark2 -s 800x600 -b "$1:duration=$d" >"out$d" 2>&1; times >"times$d")
    cat "out$d" >>glmark2.log
    printf '%s %s %s\n' "$d" \
      "$(awk '/FrameTime:/ {for (i = 1; i < NF; i++) if ($i == "FrameTime:") print $(i + 1)}' "out$d")" \
      "$(awk 'NR == 2 {split($1, u, /[ms]/); split($2, s, /[ms]/)
                       print (u[1] * 60 + u[2] + s[1] * 60 + s[2]) * 1000}' "times$d")"
  done | awk '{f[NR] = $1 * 1000 / $2; c[NR] = $3}
              END {printf "%.2f", (c[2] - c[1]) / (f[2] - f[1])}'
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a / b}'; }

# ---------------------------------------------------------- comparisons ----
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
read -r k1 k1_median startup k1_cpu < <(knoll --aniso 0)
g1=$(glmark terrain:bloom=false:tilt-shift=false)
g1_cpu=$(glmark_cpu terrain:bloom=false:tilt-shift=false)
read -r k2 k2_median _ k2_cpu < <(knoll)
g2=$(glmark terrain)
g2_cpu=$(glmark_cpu terrain)

printf '\n%-46s %10s %10s %12s\n' "" "mean ms" "median ms" "CPU ms/frame"
printf '%-46s %10s %10s %12s\n' "knoll_render --aniso 0" "$k1" "$k1_median" "$k1_cpu"
printf '%-46s %10s %10s %12s\n' "glmark2 terrain:bloom=false:tilt-shift=false" "$g1" "" "$g1_cpu"
printf '%-46s %10s %10s %12s\n' "knoll_render (default configuration)" "$k2" "$k2_median" "$k2_cpu"
printf '%-46s %10s %10s %12s\n' "glmark2 terrain" "$g2" "" "$g2_cpu"
echo
echo "ratio aniso 0 / plain terrain:   wall $(ratio "$k1" "$g1")  CPU $(ratio "$k1_cpu" "$g1_cpu")  (goal <= 0.6)"
echo "ratio default / default terrain: wall $(ratio "$k2" "$g2")  CPU $(ratio "$k2_cpu" "$g2_cpu")  (goal <= 0.5 on Debian 13)"
echo "knoll start-up to first logo frame: ${startup} ms"
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"

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
