#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# A new user's first hour, on a small screen (1024x600) with a window
# manager and a notification daemon but no notification area at all:
# tessaly on an empty data folder opens the subscription editor; the row
# typed there and saved as it is gets checked by the timer of a new folder,
# and its balloon arrives as a notification whose action opens the history
# list; balloons switched off with tessalyctl and on again in 基本設定 take
# effect at the next run; a second start shows the running program's main
# window.
#
#   first-use-desktop-test.sh BIN_DIR ARTIFACT_DIR
set -euo pipefail

bin=$1 artifacts=$2
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
mkdir -p "$artifacts"
# shellcheck source=virtual-display.sh
source "$here/virtual-display.sh"
begin_desktop_test
start_virtual_display "$work" 1024x600
dbus-run-session -- bash "$here/first-use-session.sh" "$bin" "$artifacts" "$work"
