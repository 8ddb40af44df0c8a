#!/usr/bin/env bash
# Runs a Knoll built with ASan and UBSan under a private Xvfb for a few
# seconds of real input, then presses Esc. Passes when it exits 0, wrote no
# sanitizer report and logged no OpenGL error.
#   sanitize-run.sh BUILD_DIR
set -u
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$top/build-sanitize}" && pwd)
. "$top/scripts/xsession.sh"

xs_session
work=$XS_WORK
fail() {
  echo "sanitize-run: FAIL: $*" >&2
  for f in "$work"/sanitizer.*; do [ -e "$f" ] && cat "$f" >&2; done
  [ -s "$work/error.log" ] && { echo "--- error.log:" >&2; cat "$work/error.log" >&2; }
  exit 1
}

xs_start_x 1280x1024 || exit 1
# glfwTerminate unloads the GL driver, and leaks it allocated would then be
# reported from "<unknown module>", out of reach of the suppressions by
# library name. Preloading the driver keeps it mapped until exit. The
# sanitizer runtime has to stay first in the preload list.
preload=$(ldd "$build/knoll" | awk '/lib(asan|ubsan)\.so/ {print $3}' | tr '\n' ' ')
for lib in "/usr/lib/$(gcc -dumpmachine 2>/dev/null)/libGLX_mesa.so.0" \
           "/usr/lib/$(gcc -dumpmachine 2>/dev/null)/dri/swrast_dri.so"; do
  [ -e "$lib" ] && preload="$preload $lib"
done
cd "$work"
# The sanitizer settings and the preload go to Knoll only, not to xdotool.
env LD_PRELOAD="$preload" \
  LSAN_OPTIONS="suppressions=$top/scripts/lsan.supp:print_suppressions=1" \
  ASAN_OPTIONS="detect_leaks=1:log_path=$work/sanitizer" \
  UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:log_path=$work/sanitizer" \
  "$build/knoll" &
pid=$!
xs_find_window 60 || fail "no window"
sleep 3                      # past the logo
xs_key r f e
xs_drag 400 300 10 -5 6
xs_hold Up 1
xs_key F11
sleep 1
xs_key F11
sleep 1
xs_key Escape
xs_wait_exit "$pid" 60 || fail "still running 60 s after Esc"
pid=
reports=$(ls "$work"/sanitizer.* 2>/dev/null)
[ "$XS_STATUS" -eq 0 ] || fail "exit status $XS_STATUS"
[ -z "$reports" ] || fail "sanitizer report written"
grep -q 'OpenGL Error' error.log 2>/dev/null && fail "OpenGL error logged"
echo "sanitize-run: ok (exit 0, no sanitizer report, no OpenGL error)"
