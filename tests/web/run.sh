#!/usr/bin/env bash
# The browser lane: serves the built site (make web) on a free local port and
# runs the end-to-end cases (tests/e2e/cases.txt) on Knoll's page in Debian's
# Chromium, through tests/e2e/web.sh and tests/web/driver.js: every case on
# ANGLE over Mesa's llvmpipe, the GL the desktop tests use, then the start
# view and a clean run once more on SwiftShader, a rasterizer of its own.
# Before the browser, Node's test runner runs the page's unit tests
# (tests/web/unit), which need none.
#
#   run.sh SITE [CASE...]
set -uo pipefail
site=$(cd "${1:?site folder}" && pwd)
shift
here=$(cd "$(dirname "$0")" && pwd)
cases_file=$here/../e2e/cases.txt

# ------------------------------------------------------------- settings ----

LLVMPIPE_FLAGS="--use-angle=gl-egl --ignore-gpu-blocklist"
SWIFTSHADER_FLAGS="--use-angle=swiftshader --enable-unsafe-swiftshader"
# Beside the shared cases: the reference frame, and what only a page has.
WEB_CASES="start_view settings_kept settings_defaults address_settings focus_and_storage context_lost counter_4k touch
  touch_controls layout web_benchmark web_terrain pictures cached_visit new_build damaged_files storage_full"
# What web/pack.py packed the site from, for a build that differs in a byte.
export KNOLL_WEB_PAGE_BUILD=${KNOLL_WEB_PAGE_BUILD:-$site/../build-emscripten/page}
SWIFTSHADER_CASES="start_view exit_esc"

# ------------------------------------------------------------ functions ----

free_port() {
    python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

server_pid=
stop_server() { [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null; }

# Serves the site on a free port; sets url.
start_server() {
    local port
    port=$(free_port)
    python3 -m http.server --bind 127.0.0.1 --directory "$site" "$port" >/dev/null 2>&1 &
    server_pid=$!
    trap stop_server EXIT
    url="http://127.0.0.1:$port/"
    for _ in $(seq 50); do
        python3 -c "import urllib.request; urllib.request.urlopen('$url')" 2>/dev/null && return 0
        sleep 0.1
    done
    return 1
}

passed=0 failed=0 skipped=0 failures=()

# Runs case $1 with the Chromium flags $2, labelled $3.
run_case() {
    local name=$1 flags=$2 label=$3 status
    KNOLL_E2E_DISPLAY=web KNOLL_WEB_URL=$url KNOLL_WEB_FLAGS=$flags \
        bash "$here/../e2e/e2e.sh" "$name" "$site/knoll.js" >"$logs/$label-$name.log" 2>&1
    status=$?
    case $status in
    0) passed=$((passed + 1)); echo "PASS $label $name" ;;
    77) skipped=$((skipped + 1)); echo "SKIP $label $name: $(grep -m1 '^SKIP' "$logs/$label-$name.log")" ;;
    *)
        failed=$((failed + 1)) failures+=("$label $name")
        echo "FAIL $label $name"
        sed 's/^/    /' "$logs/$label-$name.log"
        ;;
    esac
}

# ------------------------------------------------------------------ main ----

node --test --test-reporter=dot "$here"/unit/*.test.mjs || { echo "test-web: the page's unit tests failed" >&2; exit 1; }
bash "$here/../../tools/browser/install.sh" || { echo "test-web: npm ci failed" >&2; exit 1; }
start_server || { echo "test-web: the local web server did not start" >&2; exit 1; }
logs=$(mktemp -d "${TMPDIR:-/tmp}/knoll-web.XXXXXX")
if [ $# -gt 0 ]; then
    cases=("$@")
else
    mapfile -t cases < <(grep -E '^[a-z0-9_]+$' "$cases_file")
    cases+=($WEB_CASES)
fi
for name in "${cases[@]}"; do run_case "$name" "$LLVMPIPE_FLAGS" llvmpipe; done
if [ $# -eq 0 ]; then
    for name in $SWIFTSHADER_CASES; do run_case "$name" "$SWIFTSHADER_FLAGS" swiftshader; done
fi
echo "logs: $logs"
[ ${#failures[@]} -eq 0 ] || printf 'failed: %s\n' "${failures[@]}"
echo "$passed passed, $failed failed, $skipped skipped"
[ "$failed" -eq 0 ]
