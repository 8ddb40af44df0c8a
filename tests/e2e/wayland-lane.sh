#!/usr/bin/env bash
# The end-to-end cases natively on Wayland, in a fresh Debian 13 root made by
# `make test-wayland` (run there as root, without DISPLAY): installs what
# setup.sh installs plus a headless compositor, builds knoll and the input
# injector as an ordinary user, starts sway with the headless backend and
# the pixman renderer (no GPU, no input devices, no X server) and runs the
# cases there one after another, then the window tests that need a
# multisampled display; then GNOME's compositor, mutter, headless, for the
# start with a decorated window, F11 and Esc (mutter.sh; KNOLL_MUTTER=0
# leaves it out).
set -u
cd "$(dirname "$0")/../.."
project=$PWD
user=knoll-tester
build=build-wayland
cases=(exit_esc no_display config_files grid_toggle light_color light_direction move_arrows arrow_taps
    mouse_look turn_keys look_press_after_motion fullscreen resize logo_commands hidpi start_view msaa)

# ------------------------------------------------------------ functions ----

say() { echo "test-wayland: $*"; }

# Runs a command as the test user in the compositor's session.
as_user() {
    runuser -u "$user" -- env -i PATH=/usr/bin:/bin HOME="/home/$user" \
        XDG_RUNTIME_DIR="$runtime" "$@"
}

install_packages() {
    bash scripts/setup.sh sway grim jq libwayland-dev libxkbcommon-dev xkb-data || exit 1
    if [ "${KNOLL_MUTTER:-1}" = 1 ]; then
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
            mutter dbus-daemon dbus-user-session libglib2.0-bin python3-gi gir1.2-glib-2.0 \
            >/dev/null || exit 1
    fi
}

# Shared memory for Wayland buffers, which a bare chroot lacks, and a root
# directory the test user may enter (a fresh root's is private).
prepare_system() {
    chmod 755 /
    mountpoint -q /dev/shm || mount -t tmpfs -o mode=1777,size=512m tmpfs /dev/shm || exit 1
    id "$user" >/dev/null 2>&1 || useradd -m "$user" || exit 1
    runtime=/run/user/$(id -u "$user")
    mkdir -p "$runtime" && chown "$user:" "$runtime" && chmod 700 "$runtime"
    chown -R "$user:" "$project"
}

# A cursor theme whose pointer is one clear pixel: the compositor draws the
# pointer into every screenshot, where it would count as a changed picture.
make_blank_cursor() {
    as_user bash -c '
        dir=$HOME/.icons/knoll-blank/cursors
        mkdir -p "$dir" && cd "$dir" &&
        convert -size 1x1 xc:none blank.png && echo "1 0 0 blank.png" >blank.cfg &&
        xcursorgen blank.cfg default && ln -sf default left_ptr && rm blank.png blank.cfg
    ' || { say "cannot make the blank cursor"; exit 1; }
}

build_programs() {
    as_user bash -c "
        cmake -S . -B $build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKNOLL_TESTS=ON \
            -DKNOLL_BENCH=OFF -DKNOLL_TOOLS=OFF >/dev/null &&
        nice -n 10 cmake --build $build -j2 --target knoll test_app >/dev/null &&
        wayland-scanner client-header tests/e2e/virtual-input.xml $build/virtual-input-client-protocol.h &&
        wayland-scanner private-code tests/e2e/virtual-input.xml $build/virtual-input-protocol.c &&
        cc -std=c11 -O1 -Wall -Wextra -Werror -I$build -o $build/wlinput tests/e2e/wlinput.c \
            $build/virtual-input-protocol.c \$(pkg-config --cflags --libs wayland-client xkbcommon)
    " || { say "build failed"; exit 1; }
}

# Starts sway headless; sets WAYLAND_DISPLAY and SWAYSOCK, and sway_pid to
# sway's own process (runuser's child), which the lane stops however it ends.
start_sway() {
    as_user WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 \
        sh -c 'echo $$ >"$0"; exec sway -c tests/e2e/sway.config' "$build/sway.pid" \
        >"$project/$build/sway.log" 2>&1 &
    sway_job=$!
    trap stop_sway EXIT
    local i
    for i in $(seq 100); do
        WAYLAND_DISPLAY=$(cd "$runtime" && ls wayland-? 2>/dev/null | head -n1)
        SWAYSOCK=$(ls "$runtime"/sway-ipc.*.sock 2>/dev/null | head -n1)
        [ -n "$WAYLAND_DISPLAY" ] && [ -n "$SWAYSOCK" ] && break
        sleep 0.1
    done
    sway_pid=$(cat "$build/sway.pid" 2>/dev/null)
    [ -n "$WAYLAND_DISPLAY" ] && [ -n "$SWAYSOCK" ] || { cat "$build/sway.log"; say "sway did not start"; exit 1; }
    say "$(sway --version), socket $WAYLAND_DISPLAY"
}

# Ends sway, if it runs, and waits until it has gone: it is no child of this
# shell, whose job is the runuser around it.
stop_sway() {
    [ -n "${sway_pid:-}" ] || return 0
    kill "$sway_pid" 2>/dev/null
    timeout 5 tail --pid="$sway_pid" -f /dev/null
    kill -KILL "$sway_pid" 2>/dev/null
    wait "$sway_job" 2>/dev/null
    sway_pid=
}

run_cases() {
    local c passed=0 failed=()
    for c in "${cases[@]}"; do
        if as_user WAYLAND_DISPLAY="$WAYLAND_DISPLAY" SWAYSOCK="$SWAYSOCK" KNOLL_E2E_DISPLAY=wayland \
            XCURSOR_THEME=knoll-blank WLINPUT="$project/$build/wlinput" bash tests/e2e/e2e.sh "$c" "$build/knoll"; then
            passed=$((passed + 1))
        else
            failed+=("$c")
        fi
    done
    # The window tests whose frames depend on the sample count.
    if as_user WAYLAND_DISPLAY="$WAYLAND_DISPLAY" KNOLL_MULTISAMPLED_DISPLAY=1 \
        "$build/tests/test_app" --gtest_brief=1; then
        passed=$((passed + 1))
    else
        failed+=(test_app)
    fi
    say "sway: ${#failed[@]} failed: ${failed[*]}"
    stop_sway
    if [ "${KNOLL_MUTTER:-1}" = 1 ]; then
        if as_user dbus-run-session -- bash tests/e2e/mutter.sh "$build/knoll"; then
            passed=$((passed + 1))
        else
            failed+=(mutter)
        fi
    fi
    echo "$passed passed, ${#failed[@]} failed"
    [ ${#failed[@]} -eq 0 ]
}

# ------------------------------------------------------------------ main ----

[ "$(id -u)" -eq 0 ] || { say "run as root inside the fresh root (make test-wayland)"; exit 2; }
unset DISPLAY WAYLAND_DISPLAY
t0=$SECONDS
install_packages
prepare_system
make_blank_cursor
build_programs
say "ready after $((SECONDS - t0)) s"
start_sway
run_cases
status=$?
say "done after $((SECONDS - t0)) s"
exit $status
