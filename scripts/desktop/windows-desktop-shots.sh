#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Screenshots of the child windows (history list, basic settings,
# subscription editor, about box) inside the main window, on a virtual X
# server, at 100% and at 200% scale.
#
#   windows-desktop-shots.sh SHOTS_PROGRAM ARTIFACT_DIR
#
# Needs Xvfb and a Japanese font (fonts-noto-cjk); the PNG files go to
# ARTIFACT_DIR as 100-<window>.png and 200-<window>.png.
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
count=$(find "$artifacts" -name '*.png' | wc -l)
[ "$count" -eq 8 ] || { echo "expected 8 screenshots, found $count" >&2; exit 1; }
echo "window screenshots in $artifacts"
