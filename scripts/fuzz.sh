#!/usr/bin/env bash
# Builds the fuzz targets (clang-16, libc++, libFuzzer with ASan and UBSan) and runs them.
#
#   scripts/fuzz.sh build                  build the targets only
#   scripts/fuzz.sh replay                 run every committed corpus file and every finding once
#   scripts/fuzz.sh smoke [SECONDS]        replay, then fuzz each target for SECONDS (default 5)
#   scripts/fuzz.sh run TARGET [ARGS...]   fuzz one target; ARGS go to libFuzzer (-runs=N,
#                                          -max_total_time=S, ...)
#   scripts/fuzz.sh list                   the target names
#
# New inputs go to the build directory ($FUZZ_BUILD_DIR, default fuzz/build), never into the
# committed corpus; a failing input is written there under findings/. Keep a finding as a
# regression case in fuzz/regressions/TARGET/ once the fault is mended.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build_dir=${FUZZ_BUILD_DIR:-$root/fuzz/build}
targets=()

# The target names come from the build's own list (FUZZ_TARGETS in fuzz/CMakeLists.txt).
configure() {
  CC=clang-16 CXX=clang++-16 cmake -S "$root/fuzz" -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  mapfile -t targets < "$build_dir/fuzz_targets.txt"
}

build() {
  bash "$root/scripts/setup.sh" --tests
  configure
  cmake --build "$build_dir" -j"${FUZZ_JOBS:-4}" >/dev/null
}

# Every committed input of a target, run once each: the seeds and the findings of faults mended.
replay() {
  local failed=0 target files
  for target in "${targets[@]}"; do
    mapfile -t files < <(find "$root/fuzz/corpus/$target" "$root/fuzz/regressions/$target" -type f 2>/dev/null | sort)
    [ ${#files[@]} -eq 0 ] && continue
    if ! "$build_dir/fuzz_$target" "${files[@]}" >"$build_dir/replay_$target.log" 2>&1; then
      echo "replay of $target failed:" >&2
      tail -n 30 "$build_dir/replay_$target.log" >&2
      failed=1
    fi
  done
  return $failed
}

# One target from its committed corpus; new inputs to a corpus of the build's own.
fuzz_target() {
  local target=$1
  shift
  [ -x "$build_dir/fuzz_$target" ] || { echo "no target $target (see: $0 list)" >&2; return 2; }
  local work="$build_dir/corpus/$target"
  mkdir -p "$work" "$build_dir/findings"
  "$build_dir/fuzz_$target" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$build_dir/findings/$target-" "$@" "$work" "$root/fuzz/corpus/$target"
}

command=${1:-smoke}
case $command in
  build)
    build
    ;;
  replay)
    build
    replay
    echo "Replayed the corpus and the findings of ${#targets[@]} fuzz targets."
    ;;
  smoke)
    seconds=${2:-5}
    build
    replay
    for target in "${targets[@]}"; do
      if ! fuzz_target "$target" -max_total_time="$seconds" >"$build_dir/smoke_$target.log" 2>&1; then
        echo "fuzz target $target failed:" >&2
        tail -n 40 "$build_dir/smoke_$target.log" >&2
        exit 1
      fi
    done
    echo "Fuzzed ${#targets[@]} targets for ${seconds} s each: no finding."
    ;;
  run)
    [ $# -ge 2 ] || { echo "usage: $0 run TARGET [libFuzzer arguments]" >&2; exit 2; }
    target=$2
    shift 2
    build
    fuzz_target "$target" "$@"
    ;;
  list)
    configure
    printf '%s\n' "${targets[@]}"
    ;;
  *)
    sed -n '2,13p' "$0" >&2
    exit 2
    ;;
esac
