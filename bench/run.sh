#!/usr/bin/env bash
# The benchmark in one command: installs what is missing, builds the benchmark programs in their own
# build tree, makes the trees once (outside the repository) and prints the table.
#   bash bench/run.sh            every tree, five timed runs per case after a warm-up
#   bash bench/run.sh --quick    T1, TR and the simulated share, one timed run: a check that everything works
# Further options go to bench/run.py (--trees T1,T3 --runs 3 --json out.json ...).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${QUENWICK_BENCH_BUILD:-$root/build-bench}"
cache="${QUENWICK_BENCH_CACHE:-/tmp/quenwick-bench}"
bash "$root/scripts/deps.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUENWICK_TESTS=OFF -DQUENWICK_BENCH=ON >/dev/null
cmake --build "$build" --target bench_walk bench_engine bench_launch bench_wine_costs bench_window bench_cli

source "$root/scripts/virtual_display.sh"
start_virtual_display || true
export WINEPREFIX="$build/wineprefix"
# The first start makes the prefix; the bench window is left unmanaged like the test programs', or
# Wine would wait two seconds for it to withdraw at every exit.
"$build/wine-run.sh" cmd /c exit >/dev/null 2>&1 || true
if [ ! -f "$WINEPREFIX/unmanaged-bench.reg" ]; then
  reg="$WINEPREFIX/unmanaged-bench.reg"
  printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Wine\\AppDefaults\\bench_window.exe\\X11 Driver]\n"Managed"="N"\n\n' >"$reg"
  wine regedit /S "$(winepath -w "$reg")" >/dev/null 2>&1
fi
# Cases follow each other well within the three seconds a Wine server outlives its last process,
# so one server serves the whole run.
python3 "$root/bench/run.py" --build "$build" --cache "$cache" "$@"
