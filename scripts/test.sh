#!/usr/bin/env bash
# Installs what is missing, builds everything, fuzzes the settings-file reader for a minute and
# runs the whole test suite.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build_dir="${EMU_BUILD_DIR:-$root/build}"
bash "$root/scripts/install-deps.sh"
bash "$root/scripts/build.sh"
bash "$root/scripts/fuzz-smoke.sh"
(cd "$build_dir" && ctest --output-on-failure --timeout 600 -j 2)
