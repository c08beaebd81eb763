#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# End-to-end test of the tray icon control on a real desktop stack:
# Xvfb, a D-Bus session, a tray host and the dunst notification daemon.
#
#   tray-desktop-test.sh xembed|sni PROBE WATCHER ARTIFACT_DIR
#
# xembed: trayer docks the icon; clicks on it and on Qt's balloon come back
#         as the control's events.
# sni:    a StatusNotifierItem watcher of our own takes the item; the balloon
#         is a dunst notification whose action comes back as BalloonClick,
#         and a burst of activations opens once.
# Every wait is for something observable (a window, a bus name, a line of
# output), bounded in time. Screenshots go to ARTIFACT_DIR.
set -euo pipefail

mode=$1 probe=$2 watcher=$3 artifacts=$4
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
mkdir -p "$artifacts"
# shellcheck source=virtual-display.sh
source "$here/virtual-display.sh"
begin_desktop_test
start_virtual_display "$work"

# Everything else lives in one D-Bus session.
dbus-run-session -- bash "$here/tray-session.sh" "$mode" "$probe" "$watcher" "$artifacts" "$work"
