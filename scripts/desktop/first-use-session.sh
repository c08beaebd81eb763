#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The part of the first-use desktop test inside the D-Bus session; started
# by first-use-desktop-test.sh with the X display already set.
set -euo pipefail

bin=$1 artifacts=$2 work=$3
frame_title='Tessaly Ver  1.2.0'
line='Docs 1ﾌｧｲﾙ'
pids=()
tessaly_pid=
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap cleanup EXIT

# A picture is only for people to look at: one that fails never fails the test.
shot() { "$bin/resident_desktop_shot" "$artifacts/first-use-$1.png" 2>/dev/null || echo "no picture $1" >&2; }
fail() {
  echo "FAIL (first use): $*" >&2
  shot failure || true
  for log in tessaly.err notes.log; do
    echo "--- $log" >&2; cat "$work/$log" >&2 2>/dev/null || true
  done
  exit 1
}
# shellcheck source=session-helpers.sh
source "$(dirname "${BASH_SOURCE[0]}")/session-helpers.sh"

# Answers the message box captioned Tessaly with its default button.
answer_box() {
  wait_until "no message box appeared ($1)" 20 has_window_named Tessaly
  local box
  box=$(has_window_named Tessaly)
  shot "$1"
  xdotool windowfocus --sync "$box" key Return
  box_gone() { ! has_window_named Tessaly; }
  wait_until "the message box did not close ($1)" 20 box_gone
}
notices() { grep -c '^NOTE ' "$work/notes.log" 2>/dev/null || true; }
runs_ended() { grep -c 'tessaly-trace: check ended' "$work/tessaly.err" 2>/dev/null || true; }
more_runs_than() { [ "$(runs_ended)" -gt "$1" ]; }
more_notices_than() { [ "$(notices)" -gt "$1" ]; }
# wait_for_run_after N: waits until more than N runs have ended.
wait_for_run_after() { wait_until "no check run ended after run $1" 40 more_runs_than "$1"; }

rm -f "$artifacts"/first-use-*.png

# --- A desktop without a notification area: a window manager and a
# notification daemon that notes every notice.
openbox >"$work/openbox.log" 2>&1 &
pids+=($!)
cat >"$work/note.sh" <<'NOTE'
#!/bin/sh
printf 'NOTE %s\n%s\n' "$2" "$3" >>"$(dirname "$0")/notes.log"
NOTE
chmod +x "$work/note.sh"
mkdir -p "$work/dunst"
cat >"$work/dunst/dunstrc" <<CONF
[global]
    font = Noto Sans CJK JP 11
[log_every_notice]
    summary = "*"
    script = $work/note.sh
CONF
dunst -config "$work/dunst/dunstrc" >"$work/dunst.log" 2>&1 &
pids+=($!)
bus_has() {
  dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.NameHasOwner "string:$1" 2>/dev/null | grep -q 'boolean true'
}
wait_until "no notification daemon on the bus" 20 bus_has org.freedesktop.Notifications

# --- A new data folder: the program opens the subscription editor.
data=$work/data docs=$work/docs
mkdir -p -m 700 "$data" "$docs"
echo "news" >"$docs/report.txt"
# A test minute of one second: the new folder's 10-minute interval is 10 s.
TESSALY_TEST_MINUTE_MS=1000 TESSALY_TEST_TRACE=1 \
  "$bin/tessaly" --dir "$data" >"$work/tessaly.out" 2>"$work/tessaly.err" &
tessaly_pid=$!
pids+=($tessaly_pid)
wait_until "the first start did not open the subscription editor" 20 grep_in tessaly.err 'tessaly-trace: child 購読設定'
wait_until "no main window on the first start" 20 has_window_named "$frame_title"
frame=$(has_window_named "$frame_title")
sleep 0.3 # only for the picture: let the window finish drawing
shot editor

# --- The first row, typed and saved as it is (the subfolders box untouched).
xdotool windowactivate --sync "$frame"
xdotool key Tab
xdotool type --delay 20 Docs
xdotool key Tab Tab
xdotool type --delay 20 "$docs"
xdotool key Return
answer_box saved
[ "$(sed -n 1p "$data/subscription.dat" | cut -d, -f1,3)" = "Docs,$docs" ] ||
  fail "the editor saved $(sed -n 1p "$data/subscription.dat")"

# --- The timer of a new folder checks it and the balloon is a notification.
wait_until "the first subscription was never announced" 60 grep_in notes.log "$line"
grep_in tessaly.err 'tessaly-trace: notice:' && fail "the first run reported a failure"
shot notification
dunstctl action 0
answer_box question-history
wait_until "the notification's action did not open the history list" 20 grep_in tessaly.err 'tessaly-trace: child 履歴ﾘｽﾄ'

# --- Balloons off with tessalyctl: the next run announces nothing.
"$bin/tessalyctl" --dir "$data" settings set Conf_Balloon 0
wait_until "the program did not take in the settings" 20 grep_in tessaly.err 'tessaly-trace: data files taken in'
before=$(notices) ran=$(runs_ended)
echo "more" >"$docs/second.txt"
wait_for_run_after "$ran"
wait_until "the run did not record the second document" 20 grep -q second.txt <("$bin/tessalyctl" --dir "$data" history)
[ "$(notices)" -eq "$before" ] || fail "a balloon showed with balloons switched off"

# --- Balloons on again in 基本設定: the next run announces.
frame=$(has_window_named "$frame_title")
xdotool windowactivate --sync "$frame" key alt+c
xdotool key b
wait_until "基本設定 did not open" 20 grep_in tessaly.err 'tessaly-trace: child 基本設定'
sleep 0.3 # only for the picture: let the window finish drawing
shot settings
# The window opens with its first box (ﾊﾟｽﾜｰﾄﾞﾛｯｸする) focused; Tab passes
# its disabled password field to ﾊﾞﾙｰﾝで通知する; Enter saves.
xdotool key Tab space Return
answer_box settings-saved
[ "$("$bin/tessalyctl" --dir "$data" settings show --json | python3 -c 'import json,sys; print(json.load(sys.stdin)["Conf_Balloon"])')" = 1 ] ||
  fail "基本設定 did not save the balloon switched on"
echo "third" >"$docs/third.txt"
wait_until "no balloon once switched on in 基本設定" 60 more_notices_than "$before"

# --- A second start shows the running program's main window.
xdotool windowactivate --sync "$(has_window_named "$frame_title")" key alt+f
xdotool key Return
frame_closed() { ! has_window_named "$frame_title"; }
wait_until "閉じる did not close the main window" 20 frame_closed
TESSALY_TEST_TRACE=1 "$bin/tessaly" --dir "$data" >"$work/second.out" 2>&1 || fail "the second start failed: $(cat "$work/second.out")"
wait_until "the second start did not show the main window" 20 has_window_named "$frame_title"

kill -TERM "$tessaly_pid"
ended() { ! kill -0 "$tessaly_pid" 2>/dev/null; }
wait_until "the program did not end" 20 ended
wait "$tessaly_pid" || fail "the program ended with an error"
echo "first-use desktop test passed; screenshots in $artifacts"
