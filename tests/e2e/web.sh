# The end-to-end harness in a browser: replaces the X helpers of harness.sh
# (sourced by it when KNOLL_E2E_DISPLAY=web). Knoll's page is served at
# KNOLL_WEB_URL; tests/web/driver.js drives Debian's Chromium, with
# KNOLL_WEB_FLAGS naming the GL route (ANGLE on llvmpipe, or SwiftShader).
# The page's canvas stands for the window and its storage for the working
# directory: config.txt and error.log go into storage before each start and
# come back, with help.txt, whenever Knoll stops.

WEB_DRIVER=$(cd "$(dirname "${BASH_SOURCE[0]}")/../web" && pwd)/driver.js
SCREEN_W=1280 SCREEN_H=1024
driver_pid=

# Sends one command to the driver and prints its answer; a refused command
# fails the case.
web_ask() {
    local reply
    echo "$*" >&7
    IFS= read -r reply <&8 || fail "the browser driver ended ($(tail -n3 "$work/.driver.log"))"
    case $reply in
    ok) ;;
    "ok "*) echo "${reply#ok }" ;;
    *) fail "browser: $* -> $reply" ;;
    esac
}

# Starts the browser with extra Chromium flags $@ beside KNOLL_WEB_FLAGS.
driver_start() {
    rm -f "$work/.to-driver" "$work/.from-driver"
    mkfifo "$work/.to-driver" "$work/.from-driver"
    # shellcheck disable=SC2086
    node "$WEB_DRIVER" "$KNOLL_WEB_URL" "$work" $KNOLL_WEB_FLAGS "$@" \
        <"$work/.to-driver" >"$work/.from-driver" 2>"$work/.driver.log" &
    driver_pid=$!
    exec 7>"$work/.to-driver" 8<"$work/.from-driver"
}

setup() {
    work=$(mktemp -d "${TMPDIR:-/tmp}/knoll-e2e.XXXXXX")
    trap cleanup EXIT
    trap 'exit 1' INT TERM
    cd "$work" || fail "no working directory"
    driver_start
    note "browser on $KNOLL_WEB_URL ($KNOLL_WEB_FLAGS), working directory $work"
}

# Serves site folder $1 on a port of its own, and starts the browser anew
# on it.
serve_site() {
    local port
    display_stop
    port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
    python3 -m http.server --bind 127.0.0.1 --directory "$1" "$port" >/dev/null 2>&1 &
    site_server=$!
    KNOLL_WEB_URL=http://127.0.0.1:$port/
    sleep 0.5
    driver_start
}

display_stop() {
    [ -n "${site_server:-}" ] && kill "$site_server" 2>/dev/null
    [ -n "$driver_pid" ] || return 0
    echo quit >&7 2>/dev/null
    exec 7>&- 8<&-
    wait "$driver_pid" 2>/dev/null
    driver_pid=
}

# Loads the page with the working directory's files and KNOLL_WEB_QUERY (the
# address's settings), and focuses the canvas with a click, as a person
# would before using the keys.
start_knoll() {
    web_ask open "${KNOLL_WEB_QUERY:--}" >/dev/null
    knoll_pid=
    focus_view
}

# Clicks the middle of the canvas, which gives it the keyboard's focus.
focus_view() {
    local x y w h
    read -r x y w h < <(geometry)
    pointer_to $((x + w / 2)) $((y + h / 2))
    button_down 1
    button_up 1
}

# The page took the place of the process: it has stopped once it says so.
# Sets knoll_status and brings the files back.
wait_exit() {
    local state i
    for i in $(seq $((${1:-10} * 5))); do
        state=$(web_ask state)
        case $state in stopped* | failed*) break ;; esac
        sleep 0.2
    done
    case $state in stopped* | failed*) ;; *) fail "Knoll still runs ($state)" ;; esac
    knoll_status=${state#* }
    web_ask pull >/dev/null
}

# With WebGL turned off in Chromium, as a new browser: the API is there,
# but no context.
start_without_gl33() {
    display_stop
    driver_start --disable-webgl
    start_knoll
    : >"$work/.stdout"
}

# The canvas keeps the size Knoll asks for; nothing outside moves it.
outside_changes_seen() { return 1; }

geometry() { web_ask geometry; }

# The canvas in device pixels, as the display shows it.
shot() {
    local w h
    web_ask shot "$work/.full.png" >/dev/null
    read -r w h < <(identify -format '%w %h' "$work/.full.png")
    convert "$work/.full.png" -crop ${w}x$((h - HUD_ROWS))+0+$HUD_ROWS +repage "$work/$1.png" ||
        fail "screenshot failed"
}

# A display of device pixel ratio $1 (the browser's window SCREEN_W x
# SCREEN_H CSS pixels); the rows that shots leave out for the frame-rate
# text grow by the same factor.
display_scale() {
    web_ask scale "$1" "$SCREEN_W" "$SCREEN_H" >/dev/null
    HUD_ROWS=$(awk "BEGIN{print int($HUD_ROWS * $1 + 0.5)}")
}

display_unscale() { :; }

key_down() { web_ask key "$1" down >/dev/null; }
key_up() { web_ask key "$1" up >/dev/null; }
button_down() { web_ask button "$1" down >/dev/null; }
button_up() { web_ask button "$1" up >/dev/null; }
pointer_by() { web_ask motion "$1" "$2" >/dev/null; }
pointer_to() { web_ask moveto "$1" "$2" >/dev/null; }

tap() { web_ask key "$1" tap >/dev/null; }

# A page is not told where the pointer is.
pointer() { :; }

window_exists() { [ "$(web_ask state)" = running ]; }

# Esc leaves the view, not Knoll, which runs on; the files come back.
leave_view() {
    tap Escape
    [[ "$(web_ask state)|$(web_ask eval "document.activeElement.id")" =~ ^(starting|running)\|$ ]] || fail "after Esc: $(web_ask state), focus on the $(web_ask eval "document.activeElement.id")"
    web_ask pull >/dev/null
}

# Leaves the view with Esc (leave_view), and a clean run
# leaves error.log empty and the console free of errors and warnings
# (ANGLE reports every GL call it refuses there).
finish() {
    leave_view
    local console
    console=$(web_ask console)
    [ -z "$console" ] || fail "the browser's console: $console"
    [ ! -s "$work/error.log" ] || fail "error.log after a clean run: $(head -n3 "$work/error.log")"
}
