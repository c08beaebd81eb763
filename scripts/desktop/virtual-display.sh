#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Sourced by the desktop tests: starts Xvfb on a free display.
#
#   start_virtual_display WORK_DIR [WIDTHxHEIGHT]
#
# Exports DISPLAY for Qt's xcb platform and appends the server's process id
# to the caller's `pids` array, which the caller's cleanup kills.

start_virtual_display() {
  local work=$1 size=${2:-1024x768}
  Xvfb -displayfd 5 -screen 0 "${size}x24" -nolisten tcp 5>"$work/display" >"$work/xvfb.log" 2>&1 &
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
