#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test under Wine.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${QUENWICK_BUILD:-$root/build}"
bash "$root/scripts/deps.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build "$build" -j"$(nproc)"

# One virtual display for the whole run: window tests need real focus and painting.
source "$root/scripts/virtual_display.sh"
start_virtual_display || true
status=0
(cd "$build" && ctest --output-on-failure) || status=$?
WINEPREFIX="$build/wineprefix" wineserver -k 2>/dev/null || true
exit $status
