#!/usr/bin/env bash
# Builds the fuzz targets (the settings-file reader and the data-log reader) with clang (libFuzzer,
# address and undefined-behaviour sanitizers) in their own build folder and fuzzes them for about a
# minute in all, each from a copy of its committed corpus. Exits non-zero on a crash, a sanitizer
# report or a broken round trip; the input that did it is kept in the build folder's fuzz-artifacts/.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build_dir="${EMU_FUZZ_BUILD_DIR:-$root/build-fuzz}"
seconds="${EMU_FUZZ_SECONDS:-60}"

CC=clang CXX=clang++ cmake -S "$root" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DEMU_FUZZ=ON -DEMU_BUILD_WIDGETS=OFF -DEMU_BUILD_TESTS=OFF -DEMU_BUILD_BENCH=OFF
cmake --build "$build_dir" --target fuzz_settings_file fuzz_log_file -j "$(nproc)"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
artifacts="$build_dir/fuzz-artifacts"
mkdir -p "$artifacts"

# target, corpus folder, what it reads, share of the time
fuzz() {
    local target="$1" corpus="$2" what="$3" secs="$4"
    cp -r "$root/fuzz/corpus/$corpus" "$work/$corpus"
    echo "Fuzzing the $what for ${secs} s"
    local log="$build_dir/fuzz-smoke-$corpus.log"
    if ! "$build_dir/bin/$target" -max_total_time="$secs" -timeout=10 -rss_limit_mb=2048 \
        -max_len=16384 -print_final_stats=1 -artifact_prefix="$artifacts/" "$work/$corpus" >"$log" 2>&1; then
        tail -n 60 "$log" >&2
        echo "fuzz-smoke: the $what fuzz target failed; see $artifacts" >&2
        exit 1
    fi
    grep -E '^(Done|stat::number_of_executed_units)' "$log" || true
}
fuzz fuzz_settings_file settings "settings-file reader" $(( (seconds + 1) / 2 ))
fuzz fuzz_log_file log "data-log reader" $(( seconds / 2 ))
