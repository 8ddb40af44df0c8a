#!/usr/bin/env bash
# What a user's terrain costs, on this machine's GL: the load against
# decoding alone, the benchmark's crossing streamed against the same flight
# over tiles all built before, the start view against the built-in one, and
# resident memory while flying over a small and a huge map. The maps come
# from the project's generator, kept in ~/.cache/knoll/maps.
#   bench/terrain.sh [BUILD]        (BUILD defaults to build/)
set -u
cd "$(dirname "$0")/.."
build=${1:-build}
maps=${KNOLL_MAPS:-$HOME/.cache/knoll/maps}
mkdir -p "$maps"
for side in 1025 4097 16385; do
    [ -s "$maps/map$side.png" ] || "$build/tools/mapgen" "$maps/map$side.png" $side --bits 16 || exit 1
done
run() { bash scripts/with-display.sh "$build/bench/knoll_stream" "$@"; }
for side in 4097 16385; do run load "$maps/map$side.png"; done
run flight "$maps/map4097.png"
run flight "$maps/map4097.png" --held
run start -
run start "$maps/map4097.png"

# Resident memory half-way through a 20 s benchmark over each map, and the
# peak, which the loading sets.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for side in 1025 16385; do
    (cd "$work" && exec bash "$OLDPWD/scripts/with-display.sh" "$OLDPWD/$build/knoll" \
        --terrain "$maps/map$side.png" --benchmark=20 >"$work/report$side.txt") &
    runner=$!
    rss=0 hwm=0
    while kill -0 $runner 2>/dev/null; do
        pid=$(pgrep -n -x knoll)
        if [ -n "$pid" ] && [ -r "/proc/$pid/status" ]; then
            now=$(awk '/^VmRSS/ {print $2}' "/proc/$pid/status")
            peak=$(awk '/^VmHWM/ {print $2}' "/proc/$pid/status")
            [ -n "$peak" ] && hwm=$peak
            # The benchmark has begun once the terrain's line is out.
            if grep -q '^Terrain:' "$work/report$side.txt" 2>/dev/null && [ -n "$now" ] &&
                [ "$now" -gt "$rss" ]; then rss=$now; fi
        fi
        sleep 1
    done
    wait $runner
    echo "memory map$side: resident while flying $((rss / 1024)) MB, peak $((hwm / 1024)) MB"
    grep -E '^(Frame time|Terrain tiles)' "$work/report$side.txt"
done
