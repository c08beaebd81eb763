#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# End-to-end test of the tray icon control on a real desktop stack:
# Xvfb, a D-Bus session, a tray host and the dunst notification daemon.
#
#   tray-desktop-test.sh xembed|sni|panel PROBE WATCHER ARTIFACT_DIR
#
# xembed: trayer docks the icon; clicks on it and on Qt's balloon come back
#         as the control's events, and a right click shows the program's
#         menu and no other.
# sni:    a StatusNotifierItem watcher of our own takes the item; the balloon
#         is a dunst notification whose action comes back as BalloonClick,
#         a burst of activations opens once, and the menu the item exports
#         over D-Bus is read and clicked as a host does (with
#         lumitray_dbusmenu_reader from WATCHER's folder).
# panel:  the Xfce panel under openbox is the StatusNotifierItem host; a
#         right click on the icon shows the menu the panel draws from the
#         exported one, and its entries reach the program.
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
