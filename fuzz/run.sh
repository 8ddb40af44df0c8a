#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, ASan, UBSan) in a build tree
# of their own and runs each for a while, seeded from fuzz/corpus/<target>/.
# Exits 77 when clang cannot build a libFuzzer target here, 1 when a target
# found a failing input (kept in <build>/artifacts/<target>/, and copied to
# fuzz/regressions/<target>/ with --keep).
#
#   run.sh [--build-dir DIR] [--seconds N] [--asset-dir DIR] [--keep]
set -u
top=$(cd "$(dirname "$0")/.." && pwd)
build=$top/build-fuzz
seconds=60
assets=$top/assets
keep=0
while [ $# -gt 0 ]; do
  case $1 in
    --build-dir) build=$2; shift 2 ;;
    --seconds) seconds=$2; shift 2 ;;
    --asset-dir) assets=$2; shift 2 ;;
    --keep) keep=1; shift ;;
    *) echo "run.sh: unknown argument $1" >&2; exit 2 ;;
  esac
done
cc=${FUZZ_CC:-clang}
cxx=${FUZZ_CXX:-clang++}

probe=$(mktemp -d)
trap 'rm -rf "$probe"' EXIT
printf '%s\n' '#include <stddef.h>' '#include <stdint.h>' \
  'extern "C" int LLVMFuzzerTestOneInput(const uint8_t *, size_t) { return 0; }' >"$probe/p.cpp"
if ! command -v "$cxx" >/dev/null ||
   ! "$cxx" -fsanitize=fuzzer,address,undefined "$probe/p.cpp" -o "$probe/p" 2>"$probe/err"; then
  echo "fuzz: $cxx cannot build libFuzzer targets here; skipped" >&2
  exit 77
fi

mkdir -p "$build"
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER="$cc" -DCMAKE_CXX_COMPILER="$cxx" \
  -DKNOLL_FUZZ=ON -DKNOLL_SANITIZE=ON -DKNOLL_TESTS=OFF -DKNOLL_BENCH=OFF -DKNOLL_TOOLS=OFF \
  -DKNOLL_ASSET_DIR="$assets" >"$build/configure.log" 2>&1 ||
  { cat "$build/configure.log" >&2; exit 1; }
cmake --build "$build" --target fuzz_config fuzz_omm fuzz_terrain_file -j"$(nproc)" \
  >"$build/build.log" 2>&1 ||
  { tail -50 "$build/build.log" >&2; exit 1; }

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
status=0
for target in config omm terrain_file; do
  work=$build/corpus/$target
  artifacts=$build/artifacts/$target
  mkdir -p "$work" "$artifacts"
  dict=()
  [ -f "$top/fuzz/$target.dict" ] && dict=(-dict="$top/fuzz/$target.dict")
  log=$build/fuzz_$target.log
  "$build/fuzz/fuzz_$target" "${dict[@]}" -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix="$artifacts/" "$work" "$top/fuzz/corpus/$target" >"$log" 2>&1
  rc=$?
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
  last=$(grep -E '^#[0-9]+' "$log" | tail -1)
  cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")
  ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")
  units=$(ls "$work" | wc -l)
  echo "fuzz_$target: ${seconds}s, ${execs:-?} runs, ${speed:-?} exec/s, cov ${cov:-?}, ft ${ft:-?}, corpus $units"
  if [ $rc -ne 0 ]; then
    status=1
    echo "fuzz_$target FAILED (status $rc); log $log:" >&2
    grep -E 'ERROR|SUMMARY|round trip|check:' "$log" | head -20 >&2
    for crash in "$artifacts"/*; do
      [ -e "$crash" ] || continue
      echo "  failing input: $crash" >&2
      if [ $keep -eq 1 ]; then
        mkdir -p "$top/fuzz/regressions/$target"
        cp "$crash" "$top/fuzz/regressions/$target/"
        echo "  kept as fuzz/regressions/$target/$(basename "$crash")" >&2
      fi
    done
  fi
done
exit $status
