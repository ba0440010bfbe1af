#!/usr/bin/env bash
# Builds the whole project a second time with AddressSanitizer, LeakSanitizer and
# UndefinedBehaviorSanitizer into build-asan/ (or $ASAN_BUILD_DIR) and runs every test there. The
# programs the tests start that are built here (the programmer tool's stand-in, for instance) are
# instrumented as well. Reports go to files, one per process, so that one from a child whose exit code
# nobody looks at is not lost: any report at all fails the run, as does any failing test.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build_dir=${ASAN_BUILD_DIR:-$root/build-asan}
reports="$build_dir/sanitizer-reports"

bash "$root/scripts/setup.sh" --tests

rm -rf "$reports"
mkdir -p "$reports"
stop="halt_on_error=1:exitcode=86:log_path=$reports/report"
export ASAN_OPTIONS="$stop:detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1"
export UBSAN_OPTIONS="$stop:print_stacktrace=1"
export LSAN_OPTIONS="suppressions=$root/scripts/lsan.supp:print_suppressions=0"

BUILD_DIR="$build_dir" bash "$root/scripts/build.sh" -DSANITIZE=ON -DBUILD_TESTING=ON
cd "$build_dir"
status=0
ctest --output-on-failure -j"$(nproc)" --timeout 900 || status=$?

shopt -s nullglob
found=("$reports"/report*)
if [ ${#found[@]} -gt 0 ]; then
  for report in "${found[@]}"; do
    echo "==== $report"
    cat "$report"
  done
  echo "${#found[@]} sanitizer report(s)" >&2
  status=1
fi
exit "$status"
