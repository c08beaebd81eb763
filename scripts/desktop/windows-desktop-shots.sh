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
work=$(mktemp -d)
xvfb_pid=
cleanup() {
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

Xvfb -displayfd 5 -screen 0 1800x1300x24 -nolisten tcp 5>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { echo "Xvfb did not start" >&2; cat "$work/xvfb.log" >&2; exit 1; }
export DISPLAY=":$(head -n1 "$work/display")"
export NO_AT_BRIDGE=1 QT_QPA_PLATFORM=xcb
unset WAYLAND_DISPLAY

rm -f "$artifacts"/*.png
for scale in 1 2; do
  mkdir -p "$work/data-$scale"
  QT_SCALE_FACTOR=$scale "$program" "$work/data-$scale" "$artifacts" "${scale}00"
done
count=$(find "$artifacts" -name '*.png' | wc -l)
[ "$count" -eq 8 ] || { echo "expected 8 screenshots, found $count" >&2; exit 1; }
echo "window screenshots in $artifacts"
