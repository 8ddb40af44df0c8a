#!/usr/bin/env bash
# Soak test: Knoll under a private Xvfb for a given time with seeded random
# real input (held arrows, right-button drags, E/F/R, F11, window resizes down
# to 1 x 1, unmapping and mapping again), in two runs, the first without a
# frame limit and the second at fps_limit 30. Each run passes when Knoll never
# died, exits 0 on Esc, logged no OpenGL error, and its resident memory at the
# end is within LIMIT percent of that after the first minute; both figures
# are taken at the default window size, out of fullscreen.
# The runs use the default aniso_level 16 unless --aniso says otherwise.
#   soak.sh [--minutes M] [--seed S] [--limit PERCENT] [--aniso N] [BUILD_DIR]
set -u
top=$(cd "$(dirname "$0")/.." && pwd)
minutes=10
seed=${SOAK_SEED:-1}
limit=5
aniso=16
build=$top/build
while [ $# -gt 0 ]; do
  case $1 in
    --minutes) minutes=$2; shift 2 ;;
    --seed) seed=$2; shift 2 ;;
    --limit) limit=$2; shift 2 ;;
    --aniso) aniso=$2; shift 2 ;;
    *) build=$1; shift ;;
  esac
done
build=$(cd "$build" && pwd)
. "$top/scripts/xsession.sh"

xs_session
work=$XS_WORK
trap 'exit 130' INT TERM

SCREEN_W=1280 SCREEN_H=1024
xs_start_x ${SCREEN_W}x${SCREEN_H} || exit 1
RANDOM=$seed
failures=0

alive() { kill -0 "$pid" 2>/dev/null; }
focus() { timeout 5 xdotool windowfocus --sync "$XS_WIN" 2>/dev/null; }
is_fullscreen() {
  local w h
  eval "$(xdotool getwindowgeometry --shell "$XS_WIN" 2>/dev/null | grep -E '^(WIDTH|HEIGHT)=' |
          sed 's/^WIDTH/w/; s/^HEIGHT/h/')"
  [ "${w:-0}" -eq $SCREEN_W ] && [ "${h:-0}" -eq $SCREEN_H ]
}
# Out of fullscreen, back at 800 x 600, settled: where memory is measured.
settle() {
  focus
  is_fullscreen && { xs_key F11; sleep 1; }
  xdotool windowsize "$XS_WIN" 800 600
  sleep 3
}

# One random action; names it in ACT for the tally. Runs in this shell, not
# a subshell, so that the seed fixes the whole sequence.
act() {
  local r=$((RANDOM % 100)) keys k
  focus
  if [ $r -lt 25 ]; then
    keys=(Up Down Left Right)
    k=${keys[RANDOM % 4]}
    xdotool keydown "$k"
    [ $((RANDOM % 2)) -eq 0 ] && { xdotool keydown Up; sleep 0.3; xdotool keyup Up; }
    sleep "0.$((2 + RANDOM % 8))"
    xdotool keyup "$k"
    ACT=arrows
  elif [ $r -lt 45 ]; then
    xs_drag "$((100 + RANDOM % 601))" "$((100 + RANDOM % 401))" "$((-20 + RANDOM % 41))" "$((-20 + RANDOM % 41))" "$((3 + RANDOM % 13))"
    ACT=drag
  elif [ $r -lt 65 ]; then
    keys=(e f r)
    xs_key "${keys[RANDOM % 3]}"
    ACT=efr
  elif [ $r -lt 72 ]; then
    xs_key F11
    sleep 1
    ACT=f11
  elif [ $r -lt 90 ]; then
    local sizes=("1 1" "1 600" "800 1" "2 2" "64 48" "320 200" "1279 1023" "1920 1080"
                 "$((1 + RANDOM % 1280)) $((1 + RANDOM % 1024))")
    xdotool windowsize "$XS_WIN" ${sizes[RANDOM % ${#sizes[@]}]} 2>/dev/null
    sleep "0.$((1 + RANDOM % 9))"
    ACT=resize
  else
    # No window manager here, so minimising is asked for (as a desktop would)
    # and then done as the unmap it amounts to.
    xdotool windowminimize "$XS_WIN" 2>/dev/null
    xdotool windowunmap --sync "$XS_WIN" 2>/dev/null
    sleep "$((1 + RANDOM % 3))"
    xdotool windowmap --sync "$XS_WIN" 2>/dev/null
    ACT=minimise
  fi
  sleep "0.$((0 + RANDOM % 6))"
}

# How long Knoll may take to end after Esc. Esc is seen between frames, and
# a software renderer on a loaded machine can take a second or more over one,
# so this is generous.
EXIT_WAIT=90

# What the window and the process were doing when Esc did not end Knoll.
diagnose() {
  {
    echo "--- Knoll did not exit $EXIT_WAIT s after Esc"
    echo "focus: $(xdotool getwindowfocus 2>&1), Knoll window: $XS_WIN"
    xwininfo -id "$XS_WIN" 2>&1 | grep -E 'Map State|Width|Height|Override'
    grep -E '^State' "/proc/$pid/status"
    echo "wchan: $(cat "/proc/$pid/wchan" 2>/dev/null)"
    ps -L -o tid,comm,stat,time,pcpu -p "$pid"
    command -v gdb >/dev/null &&
      timeout 30 gdb -p "$pid" -batch -ex 'thread 1' -ex 'bt 25' 2>/dev/null | grep -E '^#' |
      sed -E 's/ \(.*\) at / at /'
  } >&2
}

run_soak() {
  local limit_fps=$1 seconds=$2 dir=$work/run$1
  mkdir -p "$dir"
  printf 'fps_limit %d\naniso_level %d\n' "$limit_fps" "$aniso" >"$dir/config.txt"
  cd "$dir"
  "$build/knoll" &
  pid=$!
  if ! xs_find_window 60; then
    echo "soak fps_limit=$limit_fps: FAIL: no window" >&2
    failures=$((failures + 1)); kill "$pid" 2>/dev/null; pid=; return
  fi
  local start=$SECONDS rss_first= rss_end crashed=0
  declare -A tally=()
  while [ $((SECONDS - start)) -lt "$seconds" ]; do
    if ! alive; then crashed=1; break; fi
    if [ -z "$rss_first" ] && [ $((SECONDS - start)) -ge 60 ]; then
      settle
      rss_first=$(xs_rss "$pid")
    fi
    act
    tally[$ACT]=$((${tally[$ACT]:-0} + 1))
  done
  local actions=""
  for a in "${!tally[@]}"; do actions="$actions $a=${tally[$a]}"; done

  local status=dead verdict=ok
  if [ $crashed -eq 0 ] && alive; then
    settle
    rss_end=$(xs_rss "$pid")
    focus
    xs_key Escape
    local esc_at=$SECONDS
    if xs_wait_exit "$pid" "$EXIT_WAIT"; then
      status=$XS_STATUS
      echo "soak fps_limit=$limit_fps: exited $((SECONDS - esc_at)) s after Esc"
    else
      diagnose
      # Once more, mapped and focused, to tell a lost key from a hang.
      xdotool windowmap --sync "$XS_WIN" 2>/dev/null
      focus
      xs_key Escape
      if xs_wait_exit "$pid" "$EXIT_WAIT"; then status="$XS_STATUS-after-second-Esc"; else status=hung; kill "$pid"; fi
    fi
  else
    wait "$pid"; status="died($?)"
  fi
  pid=
  local gl_errors glfw_errors
  gl_errors=$(grep -c 'OpenGL Error' error.log 2>/dev/null)
  glfw_errors=$(grep -c 'GLFW Error' error.log 2>/dev/null)
  local drift=n/a
  if [ -n "$rss_first" ] && [ -n "${rss_end:-}" ]; then
    drift=$(awk -v a="$rss_first" -v b="$rss_end" 'BEGIN { printf "%+.1f", (b - a) * 100 / a }')
    awk -v d="$drift" -v l="$limit" 'BEGIN { exit !(d > l || d < -l) }' && verdict="FAIL: memory"
  else
    verdict="FAIL: no memory figures"
  fi
  [ "$status" = 0 ] || verdict="FAIL: exit $status"
  [ "${gl_errors:-0}" -eq 0 ] || verdict="FAIL: OpenGL errors"
  echo "soak fps_limit=$limit_fps: ${seconds}s, exit $status, RSS ${rss_first:-?} kB at 1 min," \
       "${rss_end:-?} kB at end ($drift%), OpenGL errors ${gl_errors:-0}," \
       "GLFW errors ${glfw_errors:-0}, actions:$actions: $verdict"
  if [ "$verdict" != ok ]; then
    failures=$((failures + 1))
    tail -20 error.log >&2
  fi
  [ "${glfw_errors:-0}" -eq 0 ] || grep 'GLFW Error' error.log | sort | uniq -c | head -5
}

total=$((minutes * 60))
first=$((total / 2))
echo "soak: ${minutes} min, seed $seed, memory limit ${limit}%, aniso_level $aniso"
run_soak 0 "$first"
run_soak 30 $((total - first))
[ $failures -eq 0 ] && echo "soak: PASS" || { echo "soak: FAIL ($failures runs)"; exit 1; }
