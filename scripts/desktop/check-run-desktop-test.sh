#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The windows stay alive during a check run: tessaly on Xvfb with a window
# manager and an XEmbed tray, mailing through a server that takes the
# connection and never answers. While the run waits for it, a double click
# opens the main window, its menu and the tray menu open and close, and the
# window is drawn (screenshots); then the server answers and the run ends.
# A server that refuses every connection then fails run after run: the
# failure is told once, in a window nobody answers, and the timer's runs go
# on. Last, the program is ended during a run that waits for the silent
# server: it ends within 5 seconds and tells nothing more.
#
#   check-run-desktop-test.sh BIN_DIR ARTIFACT_DIR
set -euo pipefail

bin=$1 artifacts=$2
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
mkdir -p "$artifacts"
# shellcheck source=virtual-display.sh
source "$here/virtual-display.sh"
begin_desktop_test
start_virtual_display "$work"
dbus-run-session -- bash "$here/check-run-session.sh" "$bin" "$artifacts" "$work"
