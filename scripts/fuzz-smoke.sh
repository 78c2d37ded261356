#!/usr/bin/env bash
# Builds the settings-file fuzz target with clang (libFuzzer, address and undefined-behaviour
# sanitizers) in its own build folder and fuzzes it for about a minute from a copy of the committed
# corpus. Exits non-zero on a crash, a sanitizer report or a broken round trip; the input that did
# it is kept in the build folder's fuzz-artifacts/.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build_dir="${EMU_FUZZ_BUILD_DIR:-$root/build-fuzz}"
seconds="${EMU_FUZZ_SECONDS:-60}"

CC=clang CXX=clang++ cmake -S "$root" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DEMU_FUZZ=ON -DEMU_BUILD_WIDGETS=OFF -DEMU_BUILD_TESTS=OFF -DEMU_BUILD_BENCH=OFF
cmake --build "$build_dir" --target fuzz_settings_file -j "$(nproc)"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cp -r "$root/fuzz/corpus/settings" "$work/corpus"
artifacts="$build_dir/fuzz-artifacts"
mkdir -p "$artifacts"

echo "Fuzzing the settings-file reader for ${seconds} s"
log="$build_dir/fuzz-smoke.log"
if ! "$build_dir/bin/fuzz_settings_file" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -max_len=16384 -print_final_stats=1 -artifact_prefix="$artifacts/" "$work/corpus" >"$log" 2>&1; then
    tail -n 60 "$log" >&2
    echo "fuzz-smoke: the settings-file fuzz target failed; see $artifacts" >&2
    exit 1
fi
grep -E '^(Done|stat::number_of_executed_units)' "$log" || true
