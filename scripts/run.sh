#!/usr/bin/env bash
# Installs what is missing, builds, and starts Quenwick under Wine.
#   bash scripts/run.sh [FOLDER]          FOLDER (Unix or Windows path) becomes the root folder
#   QUENWICK_SCREENSHOT=shot.png bash scripts/run.sh [FOLDER]
#                                         saves a picture of the screen once the window is up, then ends
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${QUENWICK_BUILD:-$root/build}"
bash "$root/scripts/deps.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"$(nproc)" --target quenwick

args=()
if [ $# -gt 0 ]; then
  folder="$1"
  # A Unix path is turned into the name Wine gives it; a Windows path passes unchanged.
  if [[ "$folder" == /* || -e "$folder" ]]; then
    folder="$(WINEPREFIX="$build/wineprefix" winepath -w "$(realpath -m "$folder")" 2>/dev/null)"
  fi
  args+=("$folder")
fi

source "$root/scripts/virtual_display.sh"
if start_virtual_display 1024x768x24; then
  echo "No X display: Quenwick runs on the virtual display $DISPLAY (Xvfb)."
  echo "Look at it with: DISPLAY=$DISPLAY import -window root shot.png   (or attach a VNC server to it)"
fi

if [ -n "${QUENWICK_SCREENSHOT:-}" ]; then
  "$build/wine-run.sh" "$build/quenwick.exe" "${args[@]}" &
  app_pid=$!
  window=""
  # The main window, not the hidden 1x1 one that carries the same title.
  for _ in $(seq 300); do
    for id in $(xdotool search --onlyvisible --name '^Quenwick$' 2>/dev/null); do
      width="$(xwininfo -id "$id" 2>/dev/null | awk '/Width:/ {print $2}')"
      if [ "${width:-0}" -gt 1 ]; then window="$id"; break 2; fi
    done
    sleep 0.1
  done
  sleep 2 # let it paint
  import -window "${window:-root}" "$QUENWICK_SCREENSHOT"
  echo "Screenshot: $QUENWICK_SCREENSHOT"
  WINEPREFIX="$build/wineprefix" wineserver -k 2>/dev/null || true
  wait $app_pid 2>/dev/null || true
  exit 0
fi
"$build/wine-run.sh" "$build/quenwick.exe" "${args[@]}"
