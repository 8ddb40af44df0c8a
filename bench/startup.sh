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
# nothing after the first frame is measured or kept running. Where the GL
# driver is llvmpipe built on LLVM's MCJIT (Debian 12 and 13), the library
# also counts the shader modules the driver compiled before that swap and the
# time their code generation took: on Mesa 22 most of start-up is llvmpipe
# compiling the shaders its glGenerateMipmap draws with, which Mesa's shader
# cache does not keep.
set -u
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/scripts/private-x.sh"
knoll=$(realpath "${1:-$top/build/knoll}")
runs=${2:-10}
[ -x "$knoll" ] || { echo "no executable at $knoll" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/knoll-start.XXXXXX")
cleanup() {
    px_stop
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

static double jit_ms, jit_start;
static int jit_modules;

static double monotonicMs(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

/* llvm::EngineBuilder::create: llvmpipe makes one JIT engine per shader
   module, just before generating its code. */
void *_ZN4llvm13EngineBuilder6createEPNS_13TargetMachineE(void *self, void *machine) {
    void *(*real)(void *, void *) =
        (void *(*)(void *, void *))dlsym(RTLD_NEXT, "_ZN4llvm13EngineBuilder6createEPNS_13TargetMachineE");
    jit_modules++;
    jit_start = monotonicMs();
    return real(self, machine);
}

/* The first function address asked of a new engine ends its code generation. */
void *LLVMGetPointerToGlobal(void *engine, void *global) {
    void *(*real)(void *, void *) = (void *(*)(void *, void *))dlsym(RTLD_NEXT, "LLVMGetPointerToGlobal");
    void *address = real(engine, global);
    if (jit_start > 0) {
        jit_ms += monotonicMs() - jit_start;
        jit_start = 0;
    }
    return address;
}

/* Writes "wall_seconds cpu_seconds jit_modules jit_ms" to $SWAP_LOG after the
   first swap and ends the process there. */
void glfwSwapBuffers(void *window) {
    void (*real)(void *) = (void (*)(void *))dlsym(RTLD_NEXT, "glfwSwapBuffers");
    struct timespec wall, cpu;
    real(window);
    clock_gettime(CLOCK_REALTIME, &wall);
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu);
    FILE *log = fopen(getenv("SWAP_LOG"), "w");
    if (log) {
        fprintf(log, "%ld.%09ld %ld.%09ld %d %.1f\n", (long)wall.tv_sec, wall.tv_nsec, (long)cpu.tv_sec,
                cpu.tv_nsec, jit_modules, jit_ms);
        fclose(log);
    }
    _exit(0);
}
C
cc -shared -fPIC -O2 -o "$work/firstswap.so" "$work/firstswap.c" -ldl || exit 1

px_start || exit 1
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
for n in $(seq "$runs"); do
    dir=$work/run$n
    mkdir -p "$dir"
    # The launch time is taken by the shell that then becomes the program.
    (cd "$dir" && SWAP_LOG=$dir/swap LD_PRELOAD=$work/firstswap.so \
        bash -c 'echo "$EPOCHREALTIME" >launch; exec "$0"' "$knoll")
    [ -s "$dir/swap" ] || { echo "run $n drew no frame" >&2; exit 1; }
    read -r swap cpu modules jit <"$dir/swap"
    awk -v l="$(cat "$dir/launch")" -v s="$swap" -v c="$cpu" -v m="$modules" -v j="$jit" \
        'BEGIN {printf "%.1f %.1f %d %.1f\n", (s - l) * 1000, c * 1000, m, j}'
done >"$work/times"
median() { sort -n | awk '{v[NR] = $1} END {print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2)}'; }
awk '{print "  first swap after " $1 " ms (CPU " $2 " ms; " $3 " shader modules JIT-compiled in " $4 " ms)"}' "$work/times"
printf 'wall median %s ms  worst %s ms  (exec to first swap, %s runs)\n' \
    "$(cut -d' ' -f1 "$work/times" | median)" "$(cut -d' ' -f1 "$work/times" | sort -n | tail -1)" "$runs"
printf 'CPU median %s ms  worst %s ms\n' "$(cut -d' ' -f2 "$work/times" | median)" \
    "$(cut -d' ' -f2 "$work/times" | sort -n | tail -1)"
if [ "$(cut -d' ' -f3 "$work/times" | sort -n | tail -1)" -gt 0 ]; then
    printf 'llvmpipe code generation before the first swap: median %s ms in %s modules\n' \
        "$(cut -d' ' -f4 "$work/times" | median)" "$(cut -d' ' -f3 "$work/times" | median)"
else
    echo "llvmpipe code generation: not seen (another driver, or no MCJIT)"
fi
