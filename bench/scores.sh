#!/usr/bin/env bash
# The benchmark's score on this machine, one run each with the same settings
# (800 x 600, aniso_level ANISO, the other settings' defaults): Knoll on X11,
# knoll.exe under Wine, the page in Chromium through ANGLE on llvmpipe and on
# SwiftShader (bench/web_benchmark.js), and glmark2's terrain scene at
# 800 x 600 beside them for scale. Then what the measuring itself costs: a
# lap of the benchmark's frames with the timer queries on and off, ROUNDS
# turns each, and what reading back and encoding a screenshot take. Every run gets a
# private Xvfb with software GL. Needs `make build`, `make windows`,
# `make web`; installs the browser driver's packages (tools/browser) where
# they are missing.
#
#   bench/scores.sh [SECONDS]   (default 20; ANISO 16, ROUNDS 3)
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-20}
bash "$root/tools/browser/install.sh"
aniso=${ANISO:-16}
work=$(mktemp -d)
server=
trap '[ -n "$server" ] && kill $server 2>/dev/null; rm -rf "$work"' EXIT

# ------------------------------------------------------------ functions ----

# The score line of a report on standard input, or "failed".
score() { sed -n 's/^Knoll score: //p' | tr -d '\r' | grep . || echo failed; }

# A fresh working directory with the settings; prints its name.
settings() {
    local dir
    dir=$(mktemp -d "$work/run.XXXXXX")
    printf 'aniso_level %s\nwin_width 800\nwin_height 600\n' "$aniso" >"$dir/config.txt"
    echo "$dir"
}

row() { printf '%-44s %s\n' "$1" "$2"; }

# ----------------------------------------------------------------- scores ----

echo "== scores: $seconds s, 800 x 600, aniso_level $aniso"
dir=$(settings)
row "Knoll, X11 (Debian 12, llvmpipe)" \
    "$(cd "$dir" && bash "$root/scripts/with-display.sh" "$root/build/knoll" --benchmark="$seconds" | score)"
dir=$(settings)
row "Knoll, Windows build under Wine (llvmpipe)" \
    "$(cd "$dir" && bash "$root/scripts/wine-run.sh" --prefix "$root/build-windows/wine" \
        "$root/build-windows/knoll.exe" --benchmark="$seconds" 2>/dev/null | score)"
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
python3 -m http.server --bind 127.0.0.1 --directory "$root/build-web" "$port" >/dev/null 2>&1 &
server=$!
sleep 0.5
query="?benchmark=$seconds&aniso_level=$aniso&win_width=800&win_height=600"
row "Knoll, Chromium, ANGLE on llvmpipe" \
    "$(node "$root/bench/web_benchmark.js" "http://127.0.0.1:$port/$query" \
        --use-angle=gl-egl --ignore-gpu-blocklist | score)"
row "Knoll, Chromium, SwiftShader" \
    "$(node "$root/bench/web_benchmark.js" "http://127.0.0.1:$port/$query" \
        --use-angle=swiftshader --enable-unsafe-swiftshader | score)"
command -v glmark2 >/dev/null || apt-get install -y glmark2-x11 >/dev/null
# glmark2's score is its frames per second too.
row "glmark2 terrain, X11 (llvmpipe)" \
    "$(bash "$root/scripts/with-display.sh" glmark2 -s 800x600 -b "terrain:duration=$seconds" 2>&1 |
        sed -n 's/.*FPS: \([0-9]*\).*/\1/p' | head -n1)"

# ------------------------------------------------------ measuring's cost ----

echo "== the timer queries: the benchmark's frames (mean ms), on against off"
for round in $(seq "${ROUNDS:-3}"); do
    for timers in 1 0; do
        bash "$root/scripts/with-display.sh" "$root/build/bench/knoll_render" --size 800x600 \
            --aniso "$aniso" --frames 128 --benchmark-path 1 --timed-every 4 --gpu-timers "$timers"
    done
done
echo "== a screenshot at 800 x 600"
bash "$root/scripts/with-display.sh" "$root/build/bench/knoll_render" --size 800x600 \
    --aniso "$aniso" --frames 10 --warmup 2 --screenshot-cost 1 | grep -E '^(frame_ms|screenshot_ms)'
