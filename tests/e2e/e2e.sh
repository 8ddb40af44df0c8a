#!/usr/bin/env bash
# End-to-end cases for the knoll executable: each runs it under its own Xvfb
# in a fresh working directory and drives it with real X input.
#
#   e2e.sh CASE PATH/TO/knoll
set -u
case_name=${1:?case}
KNOLL=$(cd "$(dirname "${2:?knoll executable}")" && pwd)/$(basename "$2")
. "$(dirname "$0")/harness.sh"

# A small window without anisotropic filtering keeps software-rendered frames
# short. The low frame limit leaves the loop free between frames to run each
# tick as it falls due, so held keys are sampled close to their real timing,
# and keeps CPU use low enough for cases to run side by side.
LIGHT_CONFIG='fps_limit 3
aniso_level 0
win_width 640
win_height 480
'

# Starts knoll with the light configuration and any further lines ($2) and
# waits for the running scene, saved as $1.png.
start_scene() {
    printf '%s%s' "$LIGHT_CONFIG" "${2:-}" >config.txt
    start_knoll
    wait_logo
    wait_running "$1"
    note "scene running"
}

DEFAULT_CONFIG='#graphics
vsync 0
fps_limit 0
msaa_level 0
aniso_level 16
shadow_smooth 1

#window
win_width 800
win_height 600
'

# ------------------------------------------------------------------ cases ----

case_exit_esc() {
    setup
    start_scene s0
    finish
    xdotool search --name '^Knoll$' >/dev/null && fail "the window outlived the program"
    # A clean run on X11 logs nothing, whatever other platforms the GLFW
    # build could try.
    [ ! -s error.log ] || fail "error.log after a clean run: $(head -n3 error.log)"
    note "Esc: exit status 0, window gone, error.log empty"
}

case_no_display() {
    if [ "${KNOLL_PLATFORM:-}" = windows ]; then
        echo "SKIP: a Windows desktop always has a display, and Wine without one has no window system to fail in"
        exit 77
    fi
    work=$(mktemp -d "${TMPDIR:-/tmp}/knoll-e2e.XXXXXX")
    trap cleanup EXIT
    cd "$work" || fail "no working directory"
    echo "line of an earlier run" >error.log
    local run status
    for run in 1 2; do
        env -u DISPLAY -u WAYLAND_DISPLAY "$KNOLL" >/dev/null 2>&1
        status=$?
        [ $status -eq 1 ] || fail "run $run without a display exited with $status, not 1"
    done
    [ "$(head -n1 error.log)" = "line of an earlier run" ] || fail "error.log lost its earlier line"
    # Each run ends with the failure line after at least one GLFW report;
    # what GLFW says, and what the libraries it probes add, varies between
    # versions.
    [ "$(grep -c '^Window init failed!$' error.log)" -eq 2 ] ||
        fail "error.log should hold 'Window init failed!' once per run"
    [ "$(tail -n1 error.log)" = "Window init failed!" ] || fail "unexpected error.log: $(cat error.log)"
    awk '
        NR == 1 { next }
        /^GLFW Error [0-9]+: ./ { glfw++; next }
        /^Window init failed!$/ { if (!glfw) bad = 1; glfw = 0; runs++; next }
        END { exit !(runs == 2 && !bad) }
    ' error.log || fail "a failure line without a GLFW report before it: $(cat error.log)"
    note "no display: status 1, error.log: $(sed -n 2p error.log)"
    # The settings are read and written before the window is made.
    [ "$(cat config.txt; echo x)" = "${DEFAULT_CONFIG}x" ] || fail "config.txt not written"
    check_log
}

# A driver without OpenGL 3.3 fails start-up with status 1 and the reason in
# error.log. On Windows a message box says so first, since a double-clicked
# program has no terminal; once it is answered the process leaves without a
# fault.
case_no_gl33() {
    setup
    printf 'line of an earlier run%s\n' "$CR" >error.log
    MESA_GL_VERSION_OVERRIDE=3.0 ${KNOLL_RUNNER:-} "$KNOLL" >"$work/.stdout" 2>&1 &
    knoll_pid=$!
    if [ "${KNOLL_PLATFORM:-}" = windows ]; then
        win=$(find_window) || fail "no message box appeared"
        kill -0 "$knoll_pid" 2>/dev/null || fail "the program left before the box was answered"
        shot box
        note "message box shown"
        xdotool windowfocus --sync "$win" key Return
    fi
    wait_exit 20
    [ "$knoll_status" -eq 1 ] || fail "exited with $knoll_status, not 1"
    [ "$(text_of error.log | head -n1)" = "line of an earlier run" ] || fail "error.log lost its earlier line"
    [ "$(text_of error.log | tail -n1)" = "Window init failed!" ] ||
        fail "unexpected error.log: $(cat error.log)"
    if grep -Eiq 'page fault|unhandled exception|terminate called' "$work/.stdout" error.log; then
        fail "the process faulted on its way out: $(grep -Ei 'fault|exception|terminate' "$work/.stdout" error.log | head -n3)"
    fi
    note "no OpenGL 3.3: status 1, error.log: $(text_of error.log | sed -n 2p)"
}

case_config_files() {
    setup
    start_knoll
    finish
    [ "$(text_of config.txt; echo x)" = "${DEFAULT_CONFIG}x" ] ||
        fail "default config.txt differs: $(cat -A config.txt)"
    [ "$(wc -l <config.txt)" -eq 10 ] || fail "config.txt is not 10 lines"
    [ "$(text_of help.txt | wc -c)" -eq 699 ] || fail "help.txt has $(wc -c <help.txt) bytes, not 699"
    [ "$(text_of help.txt | sed -n 4p)" = "Arrows: Movement" ] || fail "help.txt: $(head -n4 help.txt)"
    note "defaults: config.txt and help.txt as expected"

    # A hand-edited file: comments, unknown keys, hexadecimal and values out
    # of range are all accepted and come back normalised.
    printf '%s\n' '# my settings' 'win_width 1000' 'win_height 700' 'colour blue' \
        'fps_limit 0x0c' 'aniso_level -5' 'shadow_smooth 9' >config.txt
    start_knoll
    local x y w h
    read -r x y w h < <(geometry)
    [ "${w}x$h" = 1000x700 ] || fail "window is ${w}x$h, config asks for 1000x700"
    finish
    local expected='#graphics
vsync 0
fps_limit 12
msaa_level 0
aniso_level 0
shadow_smooth 1

#window
win_width 1000
win_height 700
'
    [ "$(text_of config.txt; echo x)" = "${expected}x" ] ||
        fail "edited config.txt came back as: $(cat -A config.txt)"
    note "edited config: window 1000x700, file normalised"
}

case_grid_toggle() {
    setup
    start_scene s0
    tap r
    wait_differ s0 grid "R shows the grid"
    wait_still grid
    tap r
    wait_same s0 back "R again hides the grid"

    # Held down, the key repeats; only the first press toggles. Shots taken
    # while the repeats arrive must all show the grid.
    xdotool keydown r
    sleep 0.8
    local i
    for i in 1 2 3 4; do
        sleep 0.3
        shot held$i
        assert_same grid held$i "R held ($i)"
    done
    xdotool keyup r
    sleep 1
    shot released
    assert_same grid released "R released"
    finish
}

case_light_color() {
    setup
    start_scene s0
    tap e
    wait_differ s0 e1 "E"
    wait_still e1
    tap e
    wait_differ e1 e2 "E again"
    finish
}

case_light_direction() {
    setup
    start_scene s0
    tap f
    wait_differ s0 f1 "F"
    wait_still f1
    tap f
    wait_differ f1 f2 "F again"
    finish
}

# Holding Up then Down for the same time comes back to about the start. Held
# keys are read once per loop turn and a turn lasts as long as a frame takes,
# so the two moves may differ by a frame's worth of ticks; unsmoothed
# shadows keep frames short, holds of over a second keep that frame small
# against the whole move on a loaded machine, and the comparison is on
# reduced pictures, or for the sideways move on the picture's shift.
case_move_arrows() {
    setup
    start_scene s0 'shadow_smooth 0
'
    hold Up 1.5
    wait_still up
    assert_differ s0 up "Up"
    hold Down 1.5
    wait_still down
    local far near
    far=$(coarse_distance s0 up)
    near=$(coarse_distance s0 down)
    note "distance from start: after Up $far, after Down $near"
    awk "BEGIN{exit !($near < $far / 2)}" || fail "Down did not undo Up ($near vs $far)"

    hold Right 1.2
    wait_still right
    assert_differ down right "Right"
    local s
    s=$(best_shift x down right 192)
    note "Right: picture moved by $s pixels"
    [ "$s" -gt 0 ] || fail "Right did not move the view to the right (shift $s)"
    hold Left 1.2
    wait_still left
    local back
    back=$(best_shift x down left 192)
    note "Left: picture $back pixels from where it was before Right"
    [ "${back#-}" -lt $((s / 2)) ] || fail "Left did not undo Right (still $back of $s pixels)"
    finish
}

# Moves the pointer by ($1, $2) in steps of at most 20 pixels, 50 ms apart.
move_by() {
    local dx=$1 dy=$2 sx sy
    while [ "$dx" -ne 0 ] || [ "$dy" -ne 0 ]; do
        sx=$dx sy=$dy
        [ $sx -gt 20 ] && sx=20
        [ $sx -lt -20 ] && sx=-20
        [ $sy -gt 20 ] && sy=20
        [ $sy -lt -20 ] && sy=-20
        xdotool mousemove_relative -- $sx $sy
        dx=$((dx - sx)) dy=$((dy - sy))
        sleep 0.05
    done
}

# Right-button drag by ($1, $2). The loop reads the cursor once per frame,
# and frames are slow here, so the button is held a while on both ends.
drag_by() {
    sleep 1
    xdotool mousedown 3
    sleep 0.6
    move_by "$1" "$2"
    sleep 1.2
    xdotool mouseup 3
}

pointer() { xdotool getmouselocation --shell | awk -F= '/^[XY]=/{printf "%s ", $2}'; }

# The pointer's position once it is "$1", or after five seconds: the
# program moves it when it handles the button.
wait_pointer() { wait_for_output "$1" 25 pointer; }

case_mouse_look() {
    setup
    start_scene s0

    move_by 40 0
    sleep 1.5
    shot plain
    assert_same s0 plain "motion without the button"
    move_by -40 0

    # Held, the button hides the pointer and keeps it at the window's centre;
    # released, the pointer is back where it was pressed.
    local x y w h before during after s
    read -r x y w h < <(geometry)
    xdotool mousemove $((x + w / 2 + 100)) $((y + h / 2 + 50))
    sleep 1
    before=$(pointer)
    xdotool mousedown 3
    sleep 0.6
    move_by 40 0
    sleep 1.2
    during=$(wait_pointer "$((x + w / 2)) $((y + h / 2)) ")
    xdotool mouseup 3
    after=$(wait_pointer "$before")
    [ "$during" = "$((x + w / 2)) $((y + h / 2)) " ] ||
        fail "pointer at $during during the drag, not at the window centre"
    [ "$before" = "$after" ] || fail "pointer not restored after the drag: $before -> $after"
    wait_still yaw
    assert_differ s0 yaw "drag right"
    s=$(best_shift x s0 yaw)
    note "drag right: picture moved by $s pixels"
    [ "$s" -gt 0 ] || fail "dragging right did not turn right (shift $s)"

    drag_by 0 40
    wait_still pitch
    assert_differ yaw pitch "drag down"
    s=$(best_shift y yaw pitch)
    note "drag down: picture moved by $s pixels"
    [ "$s" -gt 0 ] || fail "dragging down did not tilt down (shift $s)"

    # After the release the cursor is normal again: moving it turns nothing.
    move_by 40 40
    sleep 1.5
    shot free
    assert_same pitch free "motion after the release"

    drag_by -40 -40
    wait_same s0 back "dragging back"
    finish
}

# A motion made with the button up must not turn the view, even when the
# button goes down before the program has drawn its next frame. Without a
# frame limit the loop is nearly always drawing, so the motion and the press
# reach it together.
case_look_press_after_motion() {
    setup
    start_scene s0 'fps_limit 0
'
    local x y w h i
    read -r x y w h < <(geometry)
    for i in 1 2 3; do
        xdotool mousemove $((x + w / 2 + 60 * (i % 2))) $((y + h / 2)) mousedown 3
        sleep 0.5
        xdotool mouseup 3
        sleep 0.5
        shot after$i
        assert_same s0 after$i "pointer moved, then the button pressed at once ($i)"
    done
    finish
}

case_fullscreen() {
    setup
    printf '%s' "$LIGHT_CONFIG" >config.txt
    start_knoll
    wait_logo
    xdotool windowmove --sync "$win" 100 80
    local before full after
    before=$(geometry)
    [ "$before" = "100 80 640 480" ] || fail "window not placed at 100,80: $before"
    tap F11
    full=$(wait_geometry "0 0 $SCREEN_W $SCREEN_H")
    [ "$full" = "0 0 $SCREEN_W $SCREEN_H" ] || fail "F11: window is $full, not the whole screen"
    note "F11: $full"
    sleep 1
    tap F11
    after=$(wait_geometry "$before")
    [ "$after" = "$before" ] || fail "F11 again: window is $after, was $before"
    note "F11 again: $after"
    finish
}

# E, F and R pressed while the logo shows take effect in the scene; arrows and
# the look drag do nothing there. Compared with a run without input.
case_logo_commands() {
    setup
    start_scene plain
    finish
    rm -f "$work/logo.png"

    # R, an arrow and a drag on the logo screen: only the grid shows, so one
    # more R gives the untouched picture.
    start_knoll
    wait_logo
    tap r
    hold Up 0.3
    xdotool mousedown 3
    sleep 0.1
    move_by 40 0
    xdotool mouseup 3
    shot still_logo
    assert_same logo still_logo "input on the logo screen"
    wait_running grid
    assert_differ plain grid "R on the logo screen"
    tap r
    wait_same plain nogrid "R again in the scene"
    finish
    rm -f "$work/logo.png"

    start_knoll
    wait_logo
    tap e
    tap f
    shot still_logo
    assert_same logo still_logo "E and F on the logo screen"
    wait_running lit
    assert_differ plain lit "E and F on the logo screen"
    finish
}

type "case_$case_name" >/dev/null 2>&1 || fail "no case $case_name"
"case_$case_name"
echo "PASS: $case_name"
