#!/usr/bin/env bash
# Start-up of the real program: the time from exec to its first buffer swap
# (the first logo frame), over RUNS launches (default 10) under one private
# Xvfb, with the median and the worst. Also the CPU time (user + sys, all
# threads) the process used up to that swap, which other load on the machine
# inflates less than the wall-clock figure.
#
#   bench/startup.sh [path/to/knoll] [runs]
#
# A small preloaded library wraps glfwSwapBuffers: at the first swap it writes
# the wall-clock time and the process's CPU time, then ends the process, so
# nothing after the first frame is measured or kept running.
set -u
top=$(cd "$(dirname "$0")/.." && pwd)
knoll=$(realpath "${1:-$top/build/knoll}")
runs=${2:-10}
[ -x "$knoll" ] || { echo "no executable at $knoll" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/knoll-start.XXXXXX")
xvfb=
cleanup() {
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

cat >"$work/firstswap.c" <<'C'
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

/* Writes "wall_seconds cpu_seconds" to $SWAP_LOG after the first swap and
   ends the process there. */
void glfwSwapBuffers(void *window) {
    void (*real)(void *) = (void (*)(void *))dlsym(RTLD_NEXT, "glfwSwapBuffers");
    struct timespec wall, cpu;
    real(window);
    clock_gettime(CLOCK_REALTIME, &wall);
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu);
    FILE *log = fopen(getenv("SWAP_LOG"), "w");
    if (log) {
        fprintf(log, "%ld.%09ld %ld.%09ld\n", (long)wall.tv_sec, wall.tv_nsec, (long)cpu.tv_sec,
                cpu.tv_nsec);
        fclose(log);
    }
    _exit(0);
}
C
cc -shared -fPIC -O2 -o "$work/firstswap.so" "$work/firstswap.c" -ldl || exit 1

Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=:$(head -n1 "$work/display")

echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
for n in $(seq "$runs"); do
    dir=$work/run$n
    mkdir -p "$dir"
    # The launch time is taken by the shell that then becomes the program.
    (cd "$dir" && SWAP_LOG=$dir/swap LD_PRELOAD=$work/firstswap.so \
        bash -c 'echo "$EPOCHREALTIME" >launch; exec "$0"' "$knoll")
    [ -s "$dir/swap" ] || { echo "run $n drew no frame" >&2; exit 1; }
    read -r swap cpu <"$dir/swap"
    awk -v l="$(cat "$dir/launch")" -v s="$swap" -v c="$cpu" \
        'BEGIN {printf "%.1f %.1f\n", (s - l) * 1000, c * 1000}'
done >"$work/times"
median() { sort -n | awk '{v[NR] = $1} END {print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2)}'; }
awk '{print "  first swap after " $1 " ms (CPU " $2 " ms)"}' "$work/times"
printf 'wall median %s ms  worst %s ms  (exec to first swap, %s runs)\n' \
    "$(cut -d' ' -f1 "$work/times" | median)" "$(cut -d' ' -f1 "$work/times" | sort -n | tail -1)" "$runs"
printf 'CPU median %s ms  worst %s ms\n' "$(cut -d' ' -f2 "$work/times" | median)" \
    "$(cut -d' ' -f2 "$work/times" | sort -n | tail -1)"
