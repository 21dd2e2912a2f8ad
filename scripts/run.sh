#!/usr/bin/env bash
# Installs what is missing, builds both programs, says where the console one is, and starts Quenwick
# under Wine.
#   bash scripts/run.sh [FOLDER]          FOLDER (Unix or Windows path) becomes the root folder
#   QUENWICK_SCREENSHOT=shot.png bash scripts/run.sh [FOLDER]
#                                         saves a picture of the window once it is up and painted,
#                                         then ends; exits non-zero when no window appeared
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${QUENWICK_BUILD:-$root/build}"
bash "$root/scripts/deps.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
# Both programs: the window's quenwick.exe and the console's quenwick.com beside it.
cmake --build "$build" -j"$(nproc)" --target quenwick quenwick_console
echo "The console program: $build/quenwick.com (run it with: $build/wine-run.sh $build/quenwick.com --help)"

# Before any Wine program, even winepath: the prefix's desktop process keeps the display it was
# started with, and without one no later window of the prefix can be shown.
source "$root/scripts/virtual_display.sh"
if start_virtual_display 1024x768x24; then
  echo "No X display: Quenwick runs on the virtual display $DISPLAY (Xvfb)."
  echo "Look at it with: DISPLAY=$DISPLAY import -window root shot.png   (or attach a VNC server to it)"
fi

args=()
if [ $# -gt 0 ]; then
  folder="$1"
  # A Unix path is turned into the name Wine gives it; a Windows path passes unchanged.
  if [[ "$folder" == /* || -e "$folder" ]]; then
    # Through the build's wrapper, so a new prefix is set up as the tests' is; through a file,
    # because Wine's helper processes may hold a pipe open after winepath ends.
    name_file="$(mktemp)"
    "$build/wine-run.sh" winepath -w "$(realpath -m "$folder")" >"$name_file" 2>/dev/null
    folder="$(tr -d '\r' <"$name_file")"
    rm -f "$name_file"
  fi
  args+=("$folder")
fi

if [ -n "${QUENWICK_SCREENSHOT:-}" ]; then
  "$build/wine-run.sh" "$build/quenwick.exe" "${args[@]}" &
  app_pid=$!
  stop() {
    WINEPREFIX="$build/wineprefix" wineserver -k 2>/dev/null || true
    wait $app_pid 2>/dev/null || true
  }
  # The main window, not the hidden 1x1 one that carries the same title. The first start in a new
  # prefix sets the prefix up first, which takes a while.
  window=""
  deadline=$((SECONDS + 90))
  while [ -z "$window" ] && [ $SECONDS -lt $deadline ] && kill -0 $app_pid 2>/dev/null; do
    for id in $(xdotool search --onlyvisible --name '^Quenwick$' 2>/dev/null); do
      width="$(xwininfo -id "$id" 2>/dev/null | awk '/Width:/ {print $2}')"
      if [ "${width:-0}" -gt 1 ]; then window="$id"; break; fi
    done
    [ -n "$window" ] || sleep 0.1
  done
  if [ -z "$window" ]; then
    stop
    echo "No Quenwick window appeared on $DISPLAY: no screenshot taken." >&2
    exit 1
  fi
  # Painted once two pictures in a row agree and show more than a few colours.
  previous=""
  painted=""
  deadline=$((SECONDS + 30))
  while [ $SECONDS -lt $deadline ]; do
    import -window "$window" "$QUENWICK_SCREENSHOT" 2>/dev/null || true
    read -r colours signature < <(identify -format '%k %#\n' "$QUENWICK_SCREENSHOT" 2>/dev/null || echo "0 none")
    if [ "$colours" -gt 8 ] && [ "$signature" = "$previous" ]; then painted=1; break; fi
    previous="$signature"
    sleep 0.2
  done
  stop
  if [ -z "$painted" ]; then
    rm -f "$QUENWICK_SCREENSHOT"
    echo "The Quenwick window on $DISPLAY stayed blank: no screenshot kept." >&2
    exit 1
  fi
  echo "Screenshot: $QUENWICK_SCREENSHOT"
  exit 0
fi
"$build/wine-run.sh" "$build/quenwick.exe" "${args[@]}"
