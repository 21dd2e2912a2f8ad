# Sourced: when no X display is set, starts a private Xvfb, exports DISPLAY and stops it on exit.
# Returns 0 when it started one.
start_virtual_display() {
  [ -z "${DISPLAY:-}" ] || return 1
  local n
  for n in $(seq 90 120); do [ -e "/tmp/.X11-unix/X$n" ] || break; done
  Xvfb ":$n" -screen 0 "${1:-1280x1024x24}" -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  trap 'kill $xvfb_pid 2>/dev/null || true' EXIT
  export DISPLAY=":$n"
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
}
