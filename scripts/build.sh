#!/usr/bin/env bash
# Configures and builds the project into build/ (shared by the demo and the test command).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build_dir="${EMU_BUILD_DIR:-$root/build}"
werror=OFF
if [ -n "${CI:-}" ]; then werror=ON; fi
cmake -S "$root" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DEMU_WERROR="$werror" "$@"
cmake --build "$build_dir" -j "$(nproc)"
