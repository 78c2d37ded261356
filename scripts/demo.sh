#!/usr/bin/env bash
# Installs what is missing, builds, and starts EMU Interface against the built-in simulated unit.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/install-deps.sh"
bash "$root/scripts/build.sh" >/dev/null
exec "${EMU_BUILD_DIR:-$root/build}/bin/emu-interface" --demo "$@"
