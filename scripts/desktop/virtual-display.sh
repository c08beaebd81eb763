#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Sourced by the desktop tests.
#
#   begin_desktop_test
#     Sets `work` to a fresh folder and `pids` to an empty list; on exit
#     every process in `pids` is killed and the folder removed. Settings
#     and caches of the programs started go to that folder, never the
#     user's; TESSALY_DIR is unset.
#   start_virtual_display WORK_DIR [WIDTHxHEIGHT]
#     Starts Xvfb on a free display, exports DISPLAY for Qt's xcb platform
#     and appends the server's process id to `pids`. The server never
#     resets: by default it does when its last client leaves, and a client
#     that connects during the reset (a tray started while a poll by
#     xdotool has just closed) is refused and exits.

begin_desktop_test() {
  work=$(mktemp -d)
  pids=()
  export XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache"
  # The data folder is the test's own, never one the user named.
  unset TESSALY_DIR
  trap end_desktop_test EXIT
}

end_desktop_test() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}

start_virtual_display() {
  local work=$1 size=${2:-1024x768}
  Xvfb -displayfd 5 -screen 0 "${size}x24" -nolisten tcp -noreset 5>"$work/display" >"$work/xvfb.log" 2>&1 &
  pids+=($!)
  for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
  if [ ! -s "$work/display" ]; then
    echo "Xvfb did not start" >&2
    cat "$work/xvfb.log" >&2
    return 1
  fi
  export DISPLAY=":$(head -n1 "$work/display")"
  export NO_AT_BRIDGE=1 QT_QPA_PLATFORM=xcb
  unset WAYLAND_DISPLAY
}
