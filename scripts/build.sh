#!/usr/bin/env bash
# Configures and builds the project into build/ (shared by the demo and the test command).
# --sanitize builds with the address and undefined-behaviour sanitizers into build-sanitize/.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
sanitize=0
args=()
for a in "$@"; do
  if [ "$a" = "--sanitize" ]; then sanitize=1; else args+=("$a"); fi
done
werror=OFF
if [ -n "${CI:-}" ]; then werror=ON; fi
launcher=()
if command -v ccache >/dev/null 2>&1; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache); fi
if [ "$sanitize" -eq 1 ]; then
  build_dir="${EMU_BUILD_DIR:-$root/build-sanitize}"
  # Undefined behaviour stops the program like an ASan report does, so a test cannot pass over it.
  flags="-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
  args=(-DCMAKE_CXX_FLAGS="$flags" -DCMAKE_C_FLAGS="$flags"
        -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined"
        -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=address,undefined" ${args[@]+"${args[@]}"})
else
  build_dir="${EMU_BUILD_DIR:-$root/build}"
fi
cmake -S "$root" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DEMU_WERROR="$werror" \
    ${launcher[@]+"${launcher[@]}"} ${args[@]+"${args[@]}"}
cmake --build "$build_dir" -j "$(nproc)"
