#!/usr/bin/env bash
# Knoll's page against the native build, on the same llvmpipe in one run: the
# start view at 800 x 600 with the default settings, the page in Chromium
# through ANGLE (bench/web_frame.js) and the native frame through
# knoll_render; then the time to the first logo frame and to the end of the
# start-up, on a first and a second visit, memory and the site's files; and the page on a phone's screen at the same
# drawing-buffer size.
# ROUNDS (3) turns of the page and the native build; KNOLL_MBIT throttles
# the page's network (bench/web_frame.js). Needs `make build web`; installs
# the browser driver's packages (tools/browser) where they are missing.
#
#   bench/web.sh [BUILD] [SITE]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
site=${2:-$root/build-web}
bash "$root/tools/browser/install.sh"

port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
python3 -m http.server --bind 127.0.0.1 --directory "$site" "$port" >/dev/null 2>&1 &
server=$!
trap 'kill $server 2>/dev/null' EXIT
sleep 0.5

# The machine's speed drifts over minutes: the two take turns, ROUNDS times.
for round in $(seq "${ROUNDS:-3}"); do
    echo "== round $round: page, Chromium with ANGLE on llvmpipe"
    node "$root/bench/web_frame.js" "http://127.0.0.1:$port/" --use-angle=gl-egl --ignore-gpu-blocklist
    echo "== round $round: page on a phone's touch screen, the same drawing buffer"
    KNOLL_BENCH_PHONE=1 node "$root/bench/web_frame.js" "http://127.0.0.1:$port/" --use-angle=gl-egl --ignore-gpu-blocklist
    echo "== round $round: native, knoll_render on llvmpipe"
    bash "$root/scripts/with-display.sh" "$build/bench/knoll_render" --size 800x600 --frames 20 --warmup 3
done
echo "== download: the first visit's files"
find "$site" -type f -printf '%s %P\n' | sort -k2
