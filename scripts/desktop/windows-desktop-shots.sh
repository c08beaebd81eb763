#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Screenshots of the child windows (history list, basic settings,
# subscription editor, about box) inside the main window, on a virtual X
# server, at 100% and at 200% scale, and on a 1024x600 screen with a panel
# along the bottom under openbox, the main window maximised.
#
#   windows-desktop-shots.sh SHOTS_PROGRAM ARTIFACT_DIR
#
# Needs Xvfb, openbox, trayer and a Japanese font (fonts-noto-cjk); the PNG
# files go to ARTIFACT_DIR as 100-<window>.png, 200-<window>.png,
# small-<window>.png and small-<window>-last.png (the focus on the window's
# last control).
set -euo pipefail

program=$1 artifacts=$2
mkdir -p "$artifacts"
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=virtual-display.sh
source "$here/virtual-display.sh"
begin_desktop_test
start_virtual_display "$work" 1800x1300

rm -f "$artifacts"/*.png
for scale in 1 2; do
  mkdir -p "$work/data-$scale"
  QT_SCALE_FACTOR=$scale "$program" "$work/data-$scale" "$artifacts" "${scale}00"
done

# The small screen: a window manager and a panel that keeps its strip of
# the screen, as a laptop's desktop has.
start_virtual_display "$work" 1024x600
openbox >"$work/openbox.log" 2>&1 &
pids+=($!)
trayer --edge bottom --align left --widthtype percent --width 100 --heighttype pixel --height 32 \
  --transparent false --tint 0x303030 --SetDockType true --SetPartialStrut true >"$work/trayer.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do xdotool search --classname trayer >/dev/null 2>&1 && break; sleep 0.1; done
mkdir -p "$work/data-small"
"$program" "$work/data-small" "$artifacts" small --maximised

count=$(find "$artifacts" -name '*.png' | wc -l)
[ "$count" -eq 16 ] || { echo "expected 16 screenshots, found $count" >&2; exit 1; }
echo "window screenshots in $artifacts"
