#!/usr/bin/env bash
# Measures what fps_limit does: runs knoll under a private Xvfb once per
# limit in LIMITS (default: 30, then 0 for no limit) and reports, over a window of
# SECONDS after the logo screen, the frames drawn per second and the CPU time
# the process used per second of wall time (1.0 = one core busy).
#
#   bench/fps_limit.sh [path/to/knoll] [seconds]
#
# Frames are counted exactly: a small preloaded library wraps
# glfwSwapBuffers and logs the time of every call, so no reading of the
# on-screen counter is needed. CPU time comes from utime + stime in
# /proc/PID/stat, which covers all of the process's threads (the software
# rasteriser's included).
#
# Other settings come from EXTRA_CONFIG (config.txt lines). The default,
# "aniso_level 0", keeps software-rendered frames short enough for the
# 30 fps cap to matter; set EXTRA_CONFIG= to measure the defaults.
set -u
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/scripts/private-x.sh"
knoll=$(realpath "${1:-$top/build/knoll}")
seconds=${2:-10}
extra=${EXTRA_CONFIG-aniso_level 0}
limits=${LIMITS:-30 0}
[ -x "$knoll" ] || { echo "no executable at $knoll" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/knoll-fps.XXXXXX")
pid=
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null
    px_stop
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

cat >"$work/swaplog.c" <<'EOF'
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

/* Logs the wall-clock time of each buffer swap to $SWAP_LOG. */
void glfwSwapBuffers(void *window) {
    static void (*real)(void *);
    static FILE *log;
    struct timespec now;
    if (!real) {
        real = (void (*)(void *))dlsym(RTLD_NEXT, "glfwSwapBuffers");
        log = fopen(getenv("SWAP_LOG"), "w");
    }
    real(window);
    clock_gettime(CLOCK_REALTIME, &now);
    if (log) {
        fprintf(log, "%ld.%09ld\n", (long)now.tv_sec, now.tv_nsec);
        fflush(log);
    }
}
EOF
cc -shared -fPIC -O2 -o "$work/swaplog.so" "$work/swaplog.c" -ldl || exit 1

px_start || exit 1

hz=$(getconf CLK_TCK)
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
now() { date +%s.%N; }

printf '%-10s %10s %12s %14s\n' fps_limit frames/s "CPU s/s" "frame ms (max)"
for limit in $limits; do
    dir=$work/run$limit
    mkdir -p "$dir"
    printf 'fps_limit %s\n%s\n' "$limit" "$extra" >"$dir/config.txt"
    (cd "$dir" && SWAP_LOG=$dir/swaps LD_PRELOAD=$work/swaplog.so exec "$knoll") &
    pid=$!
    # Start-up, then the two-second logo screen, then a second to settle.
    for _ in $(seq 600); do [ -s "$dir/swaps" ] && break; sleep 0.1; done
    [ -s "$dir/swaps" ] || { echo "knoll drew nothing" >&2; exit 1; }
    sleep 3
    t0=$(now) c0=$(cpu_ticks $pid)
    sleep "$seconds"
    t1=$(now) c1=$(cpu_ticks $pid)
    kill "$pid"
    wait "$pid" 2>/dev/null
    pid=
    awk -v t0="$t0" -v t1="$t1" -v c0="$c0" -v c1="$c1" -v hz="$hz" -v limit="$limit" '
        $1 >= t0 && $1 <= t1 { n++; if (prev) { d = $1 - prev; if (d > max) max = d } prev = $1 }
        END { printf "%-10s %10.1f %12.2f %14.0f\n", limit, n / (t1 - t0),
                     (c1 - c0) / hz / (t1 - t0), max * 1000 }' "$dir/swaps"
done
echo "(config: $(echo "${extra:-defaults}" | paste -sd' '); $(nproc) cores; ${seconds} s per run after the logo)"
