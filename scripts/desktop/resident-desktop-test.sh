#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# End-to-end test of the resident program on a real desktop stack: Xvfb, a
# D-Bus session, a tray host and the dunst notification daemon.
#
#   resident-desktop-test.sh xembed|sni BIN_DIR WATCHER ARTIFACT_DIR
#
# BIN_DIR holds tessaly, tessalyctl, resident_feed_client and
# resident_desktop_shot. xembed: trayer docks the icon and Qt draws the
# balloon; sni: a StatusNotifierItem watcher takes the item and the balloon
# is a dunst notification. Every wait is for something observable, bounded
# in time. Screenshots go to ARTIFACT_DIR.
set -euo pipefail

mode=$1 bin=$2 watcher=$3 artifacts=$4
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
mkdir -p "$artifacts"
work=$(mktemp -d)
pids=()

cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# Start an X server on a free display and learn its number.
Xvfb -displayfd 5 -screen 0 1024x768x24 -nolisten tcp 5>"$work/display" >"$work/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { echo "Xvfb did not start" >&2; cat "$work/xvfb.log" >&2; exit 1; }
export DISPLAY=":$(head -n1 "$work/display")"
export NO_AT_BRIDGE=1 QT_QPA_PLATFORM=xcb
unset WAYLAND_DISPLAY

# Everything else lives in one D-Bus session.
dbus-run-session -- bash "$here/resident-session.sh" "$mode" "$bin" "$watcher" "$artifacts" "$work"
