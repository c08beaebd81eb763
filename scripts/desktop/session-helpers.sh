#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Sourced by the tests that drive tessaly as a user would. The sourcing
# script defines `fail MESSAGE` (which ends it) and sets `work` (the test's
# folder), `tessaly_pid` and, once known, `icon_window`.

# wait_until WHAT SECONDS COMMAND...: waits until COMMAND succeeds, at most
# SECONDS; fails with WHAT otherwise.
wait_until() {
  local what=$1 limit=$2
  shift 2
  for _ in $(seq $((limit * 10))); do
    "$@" >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  fail "$what"
}

# grep_in FILE TEXT: FILE (in the test's folder) holds TEXT.
grep_in() { grep -qF -- "$2" "$work/$1"; }

# The visible top-level windows of tessaly other than its tray icon.
tessaly_windows() {
  xdotool search --onlyvisible --pid "$tessaly_pid" 2>/dev/null | grep -vx "${icon_window:-none}" || true
}
has_window_named() {
  local id
  for id in $(tessaly_windows); do
    [ "$(xdotool getwindowname "$id" 2>/dev/null)" = "$1" ] && { echo "$id"; return 0; }
  done
  return 1
}
window_count() { tessaly_windows | wc -l; }
more_windows_than() { [ "$(window_count)" -gt "$1" ]; }
windows_at_most() { [ "$(window_count)" -le "$1" ]; }

# wait_docked: waits until tessaly's icon sits in trayer's panel along the
# top right; sets `icon_window` and the icon's centre `cx` and `cy`.
wait_docked() {
  docked() {
    local id
    id=$(xdotool search --onlyvisible --pid "$tessaly_pid" --classname tessaly 2>/dev/null | head -n1)
    [ -n "$id" ] && eval "$(xdotool getwindowgeometry --shell "$id")" && [ "$X" -ge 900 ] && [ "$Y" -lt 32 ]
  }
  wait_until "the icon was not docked in the tray" 20 docked
  icon_window=$(xdotool search --onlyvisible --pid "$tessaly_pid" --classname tessaly | head -n1)
  eval "$(xdotool getwindowgeometry --shell "$icon_window")"
  cx=$((X + WIDTH / 2)) cy=$((Y + HEIGHT / 2))
}
