# The end-to-end harness on a running sway, natively on Wayland: replaces the
# X helpers of harness.sh (sourced by it when KNOLL_E2E_DISPLAY=wayland).
# WAYLAND_DISPLAY and SWAYSOCK name the compositor, whose config makes the
# knoll window float without borders so that it keeps the size it asks for.
# WLINPUT is the input injector built from wlinput.c: the virtual keyboard
# and pointer send what a real device would. Screenshots come from grim.

input_pid=

# The knoll window's node in sway's tree, as one line of JSON; empty when
# there is none.
knoll_node() {
    swaymsg -t get_tree | jq -c 'first(.. | objects | select(.app_id? == "knoll"))'
}

# The output's size, "W H".
output_size() {
    swaymsg -t get_outputs | jq -r 'first(.[] | select(.active)) | "\(.rect.width) \(.rect.height)"'
}

# Sends one command line to the injector.
inject() { echo "$*" >&7; }

setup() {
    work=$(mktemp -d "${TMPDIR:-/tmp}/knoll-e2e.XXXXXX")
    trap cleanup EXIT
    trap 'exit 1' INT TERM
    cd "$work" || fail "no working directory"
    [ -n "${WAYLAND_DISPLAY:-}" ] && swaymsg -t get_version >/dev/null ||
        fail "no sway at WAYLAND_DISPLAY=${WAYLAND_DISPLAY:-}"
    read -r SCREEN_W SCREEN_H < <(output_size)
    mkfifo "$work/.input"
    "$WLINPUT" <"$work/.input" 2>"$work/.wlinput.log" &
    input_pid=$!
    exec 7>"$work/.input"
    note "Wayland display $WAYLAND_DISPLAY (${SCREEN_W}x$SCREEN_H), working directory $work"
}

display_stop() {
    [ -n "$input_pid" ] || return 0
    exec 7>&-
    wait "$input_pid" 2>/dev/null || echo "injector: $(cat "$work/.wlinput.log")" >&2
    input_pid=
}

start_knoll() {
    "$KNOLL" >"$work/.stdout" 2>&1 &
    knoll_pid=$!
    local t0=$SECONDS
    until [ -n "$(knoll_node)" ]; do
        kill -0 "$knoll_pid" 2>/dev/null || fail "knoll ended before its window appeared"
        [ $((SECONDS - t0)) -lt $STARTUP_TIMEOUT ] || fail "no knoll window appeared"
        sleep 0.2
    done
    read -r wx wy ww wh < <(geometry)
    pointer_to $((wx + ww / 2)) $((wy + wh / 2))
}

geometry() {
    knoll_node | jq -r '"\(.rect.x + .window_rect.x) \(.rect.y + .window_rect.y) \(.window_rect.width) \(.window_rect.height)"'
}

shot() {
    local x y w h
    read -r x y w h < <(geometry)
    grim -g "$x,$((y + HUD_ROWS)) ${w}x$((h - HUD_ROWS))" "$work/$1.png" || fail "screenshot failed"
}

key_down() { inject key "$1" down; }
key_up() { inject key "$1" up; }
button_down() { inject button "$1" down; }
button_up() { inject button "$1" up; }
pointer_by() { inject motion "$1" "$2"; }
pointer_to() { inject moveto "$1" "$2" "$SCREEN_W" "$SCREEN_H"; }

tap() {
    key_down "$1"
    key_up "$1"
}

# Clients are not told where the pointer is.
pointer() { :; }

window_move() {
    swaymsg "[app_id=knoll] move position $1 $2" >/dev/null
    wait_for_output "$1 $2" 25 first_two >/dev/null
}
first_two() { geometry | cut -d' ' -f1,2; }

window_resize() {
    swaymsg "[app_id=knoll] resize set $1 $2" >/dev/null
    wait_for_output "$1 $2" 25 last_two >/dev/null
}
last_two() { geometry | cut -d' ' -f3,4; }

window_exists() { [ -n "$(knoll_node)" ]; }

# Scales the output by $1 at a resolution that leaves it 960 x 720 in the
# compositor's units, room for an 800 x 600 window; the case's end puts back
# what sway.config says. Geometry stays in those units, so the rows that
# shots leave out for the frame-rate text do too.
display_scale() {
    scaled=1
    swaymsg "output * resolution $(awk "BEGIN{print int(960 * $1)}")x$(awk "BEGIN{print int(720 * $1)}") scale $1" \
        >/dev/null || fail "sway cannot scale its output by $1"
    read -r SCREEN_W SCREEN_H < <(output_size)
}

display_unscale() { swaymsg "output * resolution 1280x1024 scale 1" >/dev/null; }

window_app_name() { knoll_node | jq -r .app_id; }

# Ends knoll with Esc; a clean run here logs nothing at all, full-screen
# switches and window decorations included.
finish() {
    tap Escape
    wait_exit 10
    [ "$knoll_status" -eq 0 ] || fail "knoll exited with status $knoll_status after Esc"
    [ ! -s "$work/error.log" ] || fail "error.log after a clean run: $(head -n3 "$work/error.log")"
}
