#!/usr/bin/env bash
# The frame's floor: how fast Knoll's frame could be if all its
# shading arithmetic were free. Builds knoll_render from a copy of the
# working tree in which the main functions of the terrain and mesh-model
# fragment programs are replaced by those in bench/floor/: every pass, draw
# and texture lookup stays (and the blur, shadow and HUD programs as they
# are), but none of the lighting is computed; then
# runs bench/compare_glmark2.sh on that build and, with FLOOR_POSES=1, the
# per-pass figures of bench/poses.sh. A glmark2 ratio this floor cannot meet,
# no rewriting of the lighting can meet either.
#
#   bench/floor.sh [work-dir]   (default: a temporary directory, removed)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
work=${1:-}
if [ -z "$work" ]; then
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
fi
mkdir -p "$work/src"

# The tracked files as they are now, committed or not.
git -C "$root" ls-files -z | (cd "$root" && tar --null -T - -cf -) | tar -x -C "$work/src"
# A program's declarations and helpers up to its main, then the floor's main.
floorProgram() {
  sed '/^void main()/,$d' "$root/shaders/$1" >"$work/src/shaders/$1"
  cat "$root/bench/floor/$2" >>"$work/src/shaders/$1"
}
floorProgram terrain_frag.glsl terrain_main.glsl
floorProgram misc_frag.glsl misc_main.glsl
cmake -S "$work/src" -B "$work/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$work/build" -j"$(nproc)" --target knoll_render >/dev/null

bash "$root/bench/compare_glmark2.sh" "$work/build"
if [ -n "${FLOOR_POSES:-}" ]; then
  echo
  bash "$root/bench/poses.sh" "$work/poses" "$work/build" --aniso 0
fi
