#!/usr/bin/env bash
# Installs what is missing, builds everything, fuzzes the settings-file reader for a minute and
# runs the whole test suite.
# --sanitize instead builds with the address and undefined-behaviour sanitizers into
# build-sanitize/ (or EMU_BUILD_DIR) and runs the whole suite there; the fuzz minute is left out,
# as the fuzz target always runs under both sanitizers.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"

# Runs the suite in a build folder, then prints the total of test cases run, added up from the
# "Totals:" line every Qt Test program writes (ctest keeps each program's output in LastTest.log).
run_suite() {
  local dir="$1" status=0
  (cd "$dir" && ctest --output-on-failure --timeout 600 -j 2) || status=$?
  local log="$dir/Testing/Temporary/LastTest.log"
  if [ -f "$log" ]; then
    awk '/^Totals: [0-9]+ passed, [0-9]+ failed, [0-9]+ skipped/ { p += $2; f += $4; s += $6 }
         END { printf "Test cases run: %d (%d passed, %d failed, %d skipped)\n", p + f + s, p, f, s }' "$log"
  fi
  return "$status"
}
if [ "${1:-}" = "--sanitize" ]; then
  build_dir="${EMU_BUILD_DIR:-$root/build-sanitize}"
  bash "$root/scripts/install-deps.sh"
  EMU_BUILD_DIR="$build_dir" bash "$root/scripts/build.sh" --sanitize
  # Leak reports stay off: Qt keeps process-lifetime allocations (plugin loaders, font and
  # style caches, the offscreen platform) that it never frees, and LeakSanitizer reports them
  # in every test program. Out-of-bounds access, use after free and undefined behaviour stop the
  # test at the first report with its stack.
  export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=0:halt_on_error=1:abort_on_error=0:print_stacktrace=1:detect_stack_use_after_return=0:strict_string_checks=1}"
  export UBSAN_OPTIONS="${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}"
  run_suite "$build_dir"
  exit 0
fi
build_dir="${EMU_BUILD_DIR:-$root/build}"
bash "$root/scripts/install-deps.sh"
bash "$root/scripts/build.sh"
bash "$root/scripts/fuzz-smoke.sh"
run_suite "$build_dir"
