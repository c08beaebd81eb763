#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# End-to-end test of the resident program on a real desktop stack: Xvfb, a
# D-Bus session, a tray host and the dunst notification daemon.
#
#   resident-desktop-test.sh xembed|sni BIN_DIR WATCHER ARTIFACT_DIR
#
# BIN_DIR holds tessaly, tessalyctl and
# resident_desktop_shot. xembed: trayer docks the icon and Qt draws the
# balloon; sni: the Xfce panel (under openbox) takes the item and draws its
# D-Bus menu, and the balloon is a dunst notification. WATCHER's folder
# holds lumitray_dbusmenu_reader, which reads the exported menu. Every
# wait is for something observable, bounded in time. Screenshots go to
# ARTIFACT_DIR.
set -euo pipefail

mode=$1 bin=$2 watcher=$3 artifacts=$4
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
mkdir -p "$artifacts"
# shellcheck source=virtual-display.sh
source "$here/virtual-display.sh"
begin_desktop_test
start_virtual_display "$work"

# Everything else lives in one D-Bus session.
dbus-run-session -- bash "$here/resident-session.sh" "$mode" "$bin" "$watcher" "$artifacts" "$work"
