# Shared helpers for the end-to-end cases: a private Xvfb, one knoll process
# in a fresh working directory, real X input through xdotool and screenshot
# comparison with ImageMagick. Sourced by e2e.sh; not run on its own. With
# KNOLL_E2E_DISPLAY=wayland, wayland.sh replaces the display, input and
# screenshot helpers with ones for a running Wayland compositor; with
# KNOLL_E2E_DISPLAY=web, web.sh replaces them with ones for Knoll's page in a
# browser.
#
# Every picture is compared without the top rows, where the frame-rate text
# changes on its own.

. "$(dirname "${BASH_SOURCE[0]}")/../../scripts/private-x.sh"

HUD_ROWS=24              # rows at the top holding the frame-rate text
SCREEN_W=1280 SCREEN_H=1024
STARTUP_TIMEOUT=60       # seconds for the window and for the running scene

work= knoll_pid= win= knoll_status= scaled=

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

note() { echo "-- [${SECONDS}s] $*"; }

cleanup() {
    local status=$?
    if [ -n "$knoll_pid" ] && kill -0 "$knoll_pid" 2>/dev/null; then
        kill "$knoll_pid" 2>/dev/null
        wait "$knoll_pid" 2>/dev/null
    fi
    [ -n "$scaled" ] && display_unscale
    display_stop
    if [ -n "$work" ]; then
        if [ $status -eq 0 ]; then
            rm -rf "$work"
        else
            echo "working directory kept: $work" >&2
            [ -f "$work/error.log" ] && sed 's/^/error.log: /' "$work/error.log" >&2
        fi
    fi
}

# Creates the working directory and starts a private Xvfb with software GL
# (scripts/private-x.sh); sets DISPLAY. Xvfb picks a free display number
# itself, so cases can run in parallel with each other and with anything
# else holding a display.
setup() {
    work=$(mktemp -d "${TMPDIR:-/tmp}/knoll-e2e.XXXXXX")
    trap cleanup EXIT
    trap 'exit 1' INT TERM
    cd "$work" || fail "no working directory"
    px_start ${SCREEN_W}x${SCREEN_H} "$work/.xvfb.log" || fail "Xvfb did not start"
    note "display $DISPLAY, working directory $work"
}

display_stop() { px_stop; }

# Makes the desktop announce the content scale $1 to programs started from
# now on: Xft.dpi in the X server's resource database (96 dots per inch is
# 1), or under Wine the Windows DPI setting, which the case's end puts back.
# Window geometry and shots count device pixels here, so the rows that shots
# leave out for the frame-rate text grow by the same factor.
display_scale() {
    local dpi
    dpi=$(awk "BEGIN{print int(96 * $1 + 0.5)}")
    if on_windows; then
        scaled=1
        windows_dpi "$dpi" || fail "cannot set the DPI setting to $dpi"
    else
        echo "Xft.dpi: $dpi" | xrdb -merge || fail "cannot set Xft.dpi"
    fi
    HUD_ROWS=$(awk "BEGIN{print int($HUD_ROWS * $1 + 0.5)}")
}

# The private X server goes with the case; Wine's prefix stays.
display_unscale() { on_windows && windows_dpi 96; }

windows_dpi() {
    $KNOLL_RUNNER reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f \
        >/dev/null 2>&1
}

# Starts knoll in the working directory, with any arguments given, and waits
# for its window. A Windows build runs through KNOLL_RUNNER (wine).
start_knoll() {
    ${KNOLL_RUNNER:-} "$KNOLL" "$@" >"$work/.stdout" 2>&1 &
    knoll_pid=$!
    win=$(find_window) || fail "no window titled Knoll appeared"
    # Without a window manager focus is set directly; the pointer goes inside
    # too so the window gets keyboard input either way.
    xdotool windowfocus --sync "$win" || fail "cannot focus the window"
    read -r wx wy ww wh < <(geometry)
    xdotool mousemove $((wx + ww / 2)) $((wy + wh / 2))
}

# True for a Windows build run through KNOLL_RUNNER (KNOLL_PLATFORM=windows).
on_windows() { [ "${KNOLL_PLATFORM:-}" = windows ]; }

# True for the browser build on its page (KNOLL_E2E_DISPLAY=web).
on_web() { [ "${KNOLL_E2E_DISPLAY:-}" = web ]; }

# The end of a line as Knoll writes it, less the "\n".
if on_windows; then CR=$'\r'; else CR=; fi

# Prints text file $1 with "\n" line ends. Knoll writes the platform's own:
# on Windows (KNOLL_PLATFORM=windows) every line must end in CRLF.
text_of() {
    if on_windows; then
        [ "$(grep -c $'\r$' "$1")" -eq "$(wc -l <"$1")" ] || fail "$1: a line does not end in CRLF"
        tr -d '\r' <"$1"
    else
        cat "$1"
    fi
}

# Prints the id of the newest visible window titled Knoll once there is one,
# within STARTUP_TIMEOUT. A search is tried again when it fails: Wine makes
# and destroys windows of its own while a program starts, and a window gone
# in the middle of a search ends that search with an X error.
find_window() {
    local t0=$SECONDS id
    while [ $((SECONDS - t0)) -lt $STARTUP_TIMEOUT ]; do
        id=$(xdotool search --onlyvisible --name '^Knoll$' 2>/dev/null | tail -n1)
        [ -n "$id" ] && { echo "$id"; return 0; }
        sleep 0.2
    done
    return 1
}

# True when the program sees its window moved or resized from outside (by
# xdotool, with no window manager). Wine 10 (Debian 13) does not pass such a
# change on to a Windows program, Wine 8 (Debian 12) does, and X11 and
# Wayland programs always see it.
outside_changes_seen() {
    on_windows || return 0
    local major
    major=$(wine --version 2>/dev/null | sed -nE 's/^wine-([0-9]+).*/\1/p')
    [ "${major:-0}" -lt 10 ]
}

# Prints "x y width height" of the knoll window. Wine may make the
# program's X window anew, also after its first frame: on Windows it is the
# window there is now.
geometry() {
    local id=$win
    if on_windows; then id=$(find_window) || fail "the window is gone"; fi
    xdotool getwindowgeometry --shell "$id" |
        awk -F= '{v[$1]=$2} END {print v["X"], v["Y"], v["WIDTH"], v["HEIGHT"]}'
}

# Prints what command $3 (with its arguments) prints once that is "$1", or
# after $2 tries 0.2 s apart whatever it prints then: the program's answer to
# an input waits for the frame in progress, long on a loaded machine.
wait_for_output() {
    local want=$1 tries=$2 got
    shift 2
    for _ in $(seq "$tries"); do
        got=$("$@")
        [ "$got" = "$want" ] && break
        sleep 0.2
    done
    echo "$got"
}

# The window's geometry once it is "$1", or after ten seconds.
wait_geometry() { wait_for_output "$1" 50 geometry; }

# Starts knoll where OpenGL 3.3 is not to be had: Mesa told to offer 3.0.
start_without_gl33() {
    MESA_GL_VERSION_OVERRIDE=3.0 ${KNOLL_RUNNER:-} "$KNOLL" >"$work/.stdout" 2>&1 &
    knoll_pid=$!
}

# Waits until knoll has exited; sets knoll_status.
wait_exit() {
    local i
    for i in $(seq $((${1:-10} * 10))); do
        kill -0 "$knoll_pid" 2>/dev/null || break
        sleep 0.1
    done
    kill -0 "$knoll_pid" 2>/dev/null && fail "knoll still runs"
    wait "$knoll_pid"
    knoll_status=$?
    knoll_pid=
}

# Screenshot of the window's contents below the frame-rate text, to $1.png.
shot() {
    local x y w h
    # The window's id follows Wine's latest window, for the callers after.
    if on_windows; then win=$(find_window) || fail "the window is gone"; fi
    read -r x y w h < <(geometry)
    import -window root -crop ${w}x$((h - HUD_ROWS))+$x+$((y + HUD_ROWS)) +repage "$work/$1.png" ||
        fail "screenshot failed"
}

# Number of pixels that differ between two shots beyond a small fuzz, as an
# integer at any size.
differ() {
    compare -metric AE -fuzz 3% "$work/$1.png" "$work/$2.png" null: 2>&1 |
        awk '{printf "%.0f\n", $1}'
}

# Pixel count of a shot, as an integer at any size (fx prints a million as
# 1e+06).
pixels() {
    local w h
    read -r w h < <(identify -format '%w %h' "$work/$1.png")
    echo $((w * h))
}

# Root-mean-square difference (0..1) of two shots after reducing both to an
# eighth, which hides the small displacements that a tick more or less of
# movement makes while keeping large changes.
coarse_distance() {
    convert "$work/$1.png" -scale 12.5% "$work/.small1.png"
    convert "$work/$2.png" -scale 12.5% "$work/.small2.png"
    compare -metric RMSE "$work/.small1.png" "$work/.small2.png" null: 2>&1 |
        sed -E 's/.*\(([0-9.e-]+)\).*/\1/'
}

# Asserts that two shots are the same picture (up to a few pixels).
assert_same() {
    local n
    n=$(differ "$1" "$2")
    [ "$n" -le $(($(pixels "$1") / 1000)) ] || fail "$3: $1 and $2 differ in $n pixels"
    note "$3: $1 = $2 ($n pixels differ)"
}

# Asserts that two shots are clearly different pictures.
assert_differ() {
    local n
    n=$(differ "$1" "$2")
    [ "$n" -gt $(($(pixels "$1") / 200)) ] || fail "$3: $1 and $2 differ in only $n pixels"
    note "$3: $1 != $2 ($n pixels differ)"
}

# Frames take a few hundred milliseconds in software rendering, so a picture
# is only trusted once it has been seen; these poll for what a test expects
# and give up after POLL_TIMEOUT seconds.
POLL_TIMEOUT=15

# Shots $2 until its difference from $1, in pixels, passes test $3 against
# the share $4 of $1's pixels (1/$4); then notes it with the label $5.
wait_shot() {
    local t0=$SECONDS d
    while [ $((SECONDS - t0)) -lt $POLL_TIMEOUT ]; do
        shot "$2"
        d=$(differ "$1" "$2")
        [ "$d" "$3" $(($(pixels "$1") / $4)) ] && { note "$5: $2 vs $1 ($d pixels differ)"; return 0; }
        sleep 0.2
    done
    return 1
}

# Shot $2 once it differs clearly from $1.
wait_differ() {
    wait_shot "$1" "$2" -gt 200 "${3:-picture}" || fail "${3:-picture}: $2 never differed from $1"
}

# Shot $2 once it matches $1.
wait_same() {
    wait_shot "$1" "$2" -le 1000 "${3:-picture}" ||
        fail "${3:-picture}: $2 never came back to $1 ($(differ "$1" "$2") pixels differ)"
}

# Shot $1 once three shots over a second agree: several frames have been
# drawn without a change.
wait_still() {
    local t0=$SECONDS same=0
    shot .still
    while [ $((SECONDS - t0)) -lt $POLL_TIMEOUT ]; do
        sleep 0.5
        shot "$1"
        if [ "$(differ .still "$1")" -eq 0 ]; then
            same=$((same + 1))
            [ $same -ge 2 ] && return 0
        else
            same=0
        fi
        cp "$work/$1.png" "$work/.still.png"
    done
    fail "the picture does not come to rest"
}

# Waits until the window shows a picture that is not one flat colour: the
# first drawn frame, which is the logo screen; saved as logo.png.
wait_logo() {
    local t0=$SECONDS
    while [ $((SECONDS - t0)) -lt $STARTUP_TIMEOUT ]; do
        shot logo
        [ "$(identify -format '%[fx:standard_deviation>0.001]' "$work/logo.png")" = 1 ] && return 0
        sleep 0.1
    done
    fail "nothing was drawn"
}

# Waits until the picture has left the logo screen and come to rest; saved
# as $1.png.
wait_running() {
    local t0=$SECONDS
    while [ $((SECONDS - t0)) -lt $STARTUP_TIMEOUT ]; do
        shot "$1"
        if [ "$(differ logo "$1")" -gt $(($(pixels logo) / 20)) ]; then
            wait_still "$1"
            return 0
        fi
        sleep 0.3
    done
    fail "the logo screen did not give way to the scene"
}

# The displacement s, within -range..range, for which the centre of shot $3
# best matches shot $2 displaced by s along axis x or y: $3(p) ~ $2(p + s).
# Turning or moving the view right makes s positive along x; tilting it down
# makes s positive along y.
best_shift() {
    local axis=$1 a=$work/$2.png b=$work/$3.png range=${4:-64}
    local w h cw ch x0 y0 where
    read -r w h < <(identify -format '%w %h' "$a")
    cw=$((w / 3)) ch=$((h / 3)) x0=$(((w - cw) / 2)) y0=$(((h - ch) / 2))
    convert "$b" -crop ${cw}x$ch+$x0+$y0 +repage "$work/.centre.png"
    if [ "$axis" = x ]; then
        convert "$a" -crop $((cw + 2 * range))x$ch+$((x0 - range))+$y0 +repage "$work/.area.png"
    else
        convert "$a" -crop ${cw}x$((ch + 2 * range))+$x0+$((y0 - range)) +repage "$work/.area.png"
    fi
    where=$(compare -metric RMSE -subimage-search "$work/.area.png" "$work/.centre.png" null: 2>&1 |
        sed -nE 's/.*@ ([0-9]+),([0-9]+).*/\1 \2/p')
    [ -n "$where" ] || fail "no match for the centre of $3 in $2"
    set -- $where
    if [ "$axis" = x ]; then echo $(($1 - range)); else echo $(($2 - range)); fi
}

# Ends knoll with Esc and checks the exit status and the log.
finish() {
    tap Escape
    wait_exit 10
    [ "$knoll_status" -eq 0 ] || fail "knoll exited with status $knoll_status after Esc"
    check_log
}

check_log() {
    if grep -q 'OpenGL Error' "$work/error.log" 2>/dev/null; then
        fail "error.log reports: $(grep 'OpenGL Error' "$work/error.log" | head -n3)"
    fi
}

# ------------------------------------------------------------- input ----
# Keys go by X keysym name (e, Escape, F11, Up), buttons by X number (3 is
# the right button).

key_down() { xdotool keydown "$1"; }
key_up() { xdotool keyup "$1"; }
button_down() { xdotool mousedown "$1"; }
button_up() { xdotool mouseup "$1"; }
# Moves the pointer by ($1, $2), or to the screen position ($1, $2).
pointer_by() { xdotool mousemove_relative -- "$1" "$2"; }
pointer_to() { xdotool mousemove "$1" "$2"; }

# Presses one key (press and release).
tap() { xdotool key "$1"; }

# Holds a key for $2 seconds.
hold() {
    key_down "$1"
    sleep "$2"
    key_up "$1"
}

# "X Y " of the pointer on the screen; empty where the platform keeps it
# from clients.
pointer() { xdotool getmouselocation --shell | awk -F= '/^[XY]=/{printf "%s ", $2}'; }

# Moves the window to ($1, $2) on the screen; resizes it to $1 by $2.
window_move() { xdotool windowmove --sync "$win" "$1" "$2"; }
window_resize() { xdotool windowsize --sync "$win" "$1" "$2"; }

# True while a window titled Knoll exists.
window_exists() { xdotool search --name '^Knoll$' >/dev/null; }

# The window's name for the desktop: the class of WM_CLASS, when its
# instance says the same.
window_app_name() {
    xprop -id "$win" WM_CLASS | sed -nE 's/^WM_CLASS\(STRING\) = "([^"]*)", "\1"$/\1/p'
}

if [ "${KNOLL_E2E_DISPLAY:-x11}" = wayland ]; then
    . "$(dirname "${BASH_SOURCE[0]}")/wayland.sh"
fi
if on_web; then
    . "$(dirname "${BASH_SOURCE[0]}")/web.sh"
fi
