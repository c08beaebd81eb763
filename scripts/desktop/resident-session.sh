#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The part of the resident desktop test that runs inside the D-Bus session;
# started by resident-desktop-test.sh with the X display already set.
#
# The run: tessaly starts on a data folder with a one-"minute" interval
# (shortened for the test) and one subscription; a right click shows the
# tray menu; a double click opens the main window, which its own menu
# closes again; a new document makes the check run show the balloon
# "Tessaly! ﾌｧｲﾙが更新されました" with the subscription's line; a click on
# the balloon and Yes open the history list; the tray menu's 終了する and
# Yes end the program. In the sni run the Xfce panel is the tray host and
# draws the tray menu itself from the one the program exports over D-Bus:
# its 購読 switches watching off and on again (the tool tip follows) and
# its 開く opens the main window, and `tessalyctl balloon` with é and an
# emoji reaches dunst with exactly those texts.
set -euo pipefail

mode=$1 bin=$2 watcher=$3 artifacts=$4 work=$5
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
reader=$(dirname "$watcher")/lumitray_dbusmenu_reader
title='Tessaly! ﾌｧｲﾙが更新されました'
line='Docs 1ﾌｧｲﾙ'
pids=()
tessaly_pid=
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap cleanup EXIT

fail() {
  echo "FAIL ($mode): $*" >&2
  shot "failure" || true
  for log in tessaly.err tessaly.out notes.log dunst.log host.log history.json; do
    echo "--- $log" >&2; cat "$work/$log" >&2 2>/dev/null || true
  done
  exit 1
}

# A picture is only for people to look at: one that fails never fails the test.
shot() {
  "$bin/resident_desktop_shot" "$artifacts/$mode-$1.png" 2>/dev/null || echo "no picture $1" >&2
}

bus_has() {
  dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.NameHasOwner "string:$1" 2>/dev/null | grep -q 'boolean true'
}

# shellcheck source=session-helpers.sh
source "$(dirname "${BASH_SOURCE[0]}")/session-helpers.sh"

# Answers the message box captioned Tessaly with its default button (Yes).
answer_yes() {
  wait_until "no message box appeared ($1)" 20 has_window_named Tessaly
  local box
  box=$(has_window_named Tessaly)
  shot "$1"
  xdotool windowfocus --sync "$box" key Return
}

rm -f "$artifacts/$mode"-*.png

# --- The desktop: notification daemon and tray host.
cat >"$work/note.sh" <<'NOTE'
#!/bin/sh
printf 'NOTE %s\n%s\n' "$2" "$3" >>"$(dirname "$0")/notes.log"
NOTE
chmod +x "$work/note.sh"
mkdir -p "$work/dunst"
cat >"$work/dunst/dunstrc" <<CONF
[global]
    font = Noto Sans CJK JP 11
    origin = top-right
    offset = 10x40
    mouse_left_click = do_action, close_current
[log_every_notice]
    summary = "*"
    script = $work/note.sh
CONF
dunst -config "$work/dunst/dunstrc" >"$work/dunst.log" 2>&1 &
pids+=($!)
wait_until "no notification daemon on the bus" 20 bus_has org.freedesktop.Notifications

# shellcheck source=tray-hosts.sh
source "$here/tray-hosts.sh"
if [ "$mode" = xembed ]; then
  start_xembed_tray "$work" || fail "trayer did not map its panel"
else
  start_panel_host "$work" || fail "the panel did not come up"
fi

# --- The data folder: check every minute, balloons on, one subscription.
# The test's minute is three seconds: long enough to click a balloon before
# the next run clears it.
data=$work/data docs=$work/docs
mkdir -p -m 700 "$data" "$docs"
"$bin/tessalyctl" --dir "$data" settings set Conf_Interval 1
"$bin/tessalyctl" --dir "$data" settings set Conf_Balloon 1
# Announced at once: with the settle wait the run would end so close to the
# next three-second "minute" that its balloon were cleared before the click.
"$bin/tessalyctl" --dir "$data" settings set Conf_Settle 0
printf 'Docs,,%s,*.txt,0,,,\r\n' "$docs" >"$data/subscription.dat"

TESSALY_TEST_MINUTE_MS=3000 TESSALY_TEST_TRACE=1 \
  "$bin/tessaly" --dir "$data" >"$work/tessaly.out" 2>"$work/tessaly.err" &
tessaly_pid=$!
pids+=($tessaly_pid)

# --- The icon, and the tray menu on a right click.
icon_window=
if [ "$mode" = xembed ]; then
  wait_docked
  right_click() { xdotool mousemove "$cx" "$cy" click 3; }
  double_click() { xdotool mousemove "$cx" "$cy" click --repeat 2 --delay 60 1; }
  menu_up() { more_windows_than "$before"; }
  menu_down() { test "$(window_count)" -le "$before"; }
else
  item=$(registered_item) || fail "no item registered with the panel"
  right_click() { open_panel_menu || fail "a right click on the panel's icon showed no menu"; }
  double_click() { xdotool mousemove "$panel_icon_x" "$panel_icon_y" click --repeat 2 --delay 60 1; }
  # The menu is a window of the panel's.
  menu_up() { [ "$(panel_windows)" -gt "$before" ]; }
  menu_down() { test "$(panel_windows)" -le "$before"; }
fi
# Closes the main window with its own menu's 閉じる; the program goes on.
close_main_window() {
  local frame before
  frame=$(has_window_named 'Tessaly Ver  1.2.0')
  before=$(window_count)
  xdotool windowfocus --sync "$frame" key alt+f
  wait_until "alt+f opened no file menu" 20 more_windows_than "$before"
  xdotool key Return
  frame_closed() { ! has_window_named 'Tessaly Ver  1.2.0'; }
  wait_until "閉じる did not close the main window" 20 frame_closed
  kill -0 "$tessaly_pid" || fail "closing the main window ended the program"
}

# The count of windows that a menu adds to.
menu_base() { if [ "$mode" = xembed ]; then window_count; else panel_windows; fi; }
shot "icon"

before=$(menu_base)
right_click
wait_until "a right click showed no menu" 20 menu_up
shot "menu"
if [ "$mode" = sni ]; then
  [ "$(window_count)" -eq 0 ] || fail "the program showed a menu of its own beside the panel's"
fi
xdotool key Escape
wait_until "the menu did not close" 20 menu_down

if [ "$mode" = sni ]; then
  # The panel's menu: 購読 (checked), a separator, 開く, 終了する.
  tool_tip() {
    dbus-send --session --print-reply --dest="$item" /StatusNotifierItem org.freedesktop.DBus.Properties.Get \
      string:org.kde.StatusNotifierItem string:ToolTip 2>/dev/null | grep -qF -- "$1"
  }
  wait_until "the tool tip does not say watching" 20 tool_tip '購読中'
  "$reader" "$item" layout >"$work/layout.txt" 2>&1 || fail "the item exports no menu: $(cat "$work/layout.txt")"
  printf 'ENTRY %s\n' '[x] 購読' '-' '開く' '終了する' | diff - <(grep '^ENTRY ' "$work/layout.txt") >/dev/null ||
    fail "the exported menu is $(grep '^ENTRY ' "$work/layout.txt" | tr '\n' '|')"
  right_click
  xdotool key Down Return
  wait_until "購読 in the panel's menu did not stop watching" 20 tool_tip '-停止-'
  right_click
  shot "menu-stopped"
  xdotool key Down Return
  wait_until "購読 in the panel's menu did not resume watching" 20 tool_tip '購読中'
  right_click
  xdotool key Down Down Return
  wait_until "開く in the panel's menu did not open the main window" 20 has_window_named 'Tessaly Ver  1.2.0'
  close_main_window
fi

# --- A double click opens the main window; its own 閉じる closes it.
double_click
wait_until "a double click did not open the main window" 20 has_window_named 'Tessaly Ver  1.2.0'
shot "main-window"
close_main_window

# --- A new document: the check run announces it in the balloon.
echo "news" >"$docs/report.txt"
if [ "$mode" = xembed ]; then
  balloon_up() { more_windows_than 0 && ! has_window_named Tessaly; }
else
  balloon_up() { grep_in notes.log "$title"; }
fi
wait_until "no balloon after the check run" 30 balloon_up
if [ "$mode" = sni ]; then
  wait_until "the balloon lacks the subscription's line" 20 grep_in notes.log "$line"
  wait_until "dunst shows no notice" 20 sh -c '[ "$(dunstctl count displayed)" -ge 1 ]'
fi
sleep 0.5 # only for the picture: let the balloon finish drawing
shot "balloon"

# --- A click on the balloon, Yes, and the history list opens.
if [ "$mode" = xembed ]; then
  balloon=$(tessaly_windows | head -n1)
  eval "$(xdotool getwindowgeometry --shell "$balloon")"
  xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click 1
else
  dunstctl action 0
fi
answer_yes "question-history"
wait_until "the history list did not open" 20 grep_in tessaly.err 'tessaly-trace: child 履歴ﾘｽﾄ'
wait_until "no main window around the history list" 20 has_window_named 'Tessaly Ver  1.2.0'
sleep 0.3 # only for the picture: let the list finish drawing
shot "history-list"

# One balloon, one notice: no notice with an old title before it.
if [ "$mode" = sni ]; then
  [ "$(grep -c '^NOTE ' "$work/notes.log")" -eq 1 ] || fail "one balloon sent $(grep -c '^NOTE ' "$work/notes.log") notices"
fi

# --- tessalyctl balloon: texts that Shift-JIS lacks reach the daemon as they are.
if [ "$mode" = sni ]; then
  feed_title='Tessaly é 😀' feed_text='café 漢字 😀 ｶﾅ'
  "$bin/tessalyctl" --dir "$data" balloon "$feed_title" "$feed_text" || fail "tessalyctl balloon failed"
  # Read back over D-Bus from dunst's history, where closing puts the notice.
  in_history() {
    dunstctl close-all
    dunstctl history >"$work/history.json"
    python3 -c 'import json, sys
notices = json.load(open(sys.argv[1]))["data"][0]
sys.exit(not any(n["summary"]["data"] == sys.argv[2] and n["body"]["data"] == sys.argv[3] for n in notices))' \
      "$work/history.json" "$feed_title" "$feed_text"
  }
  wait_until "dunst has no notice with exactly the texts tessalyctl sent" 20 in_history
fi

# --- 終了する from the tray menu, Yes, and the program ends cleanly.
before=$(menu_base)
right_click
wait_until "a right click showed no menu" 20 menu_up
if [ "$mode" = xembed ]; then xdotool key Up Return; else xdotool key Down Down Down Return; fi
answer_yes "question-end"
ended() { ! kill -0 "$tessaly_pid" 2>/dev/null; }
wait_until "the program did not end" 20 ended
wait "$tessaly_pid" || fail "the program ended with an error"
cp "$work/tessaly.err" "$artifacts/$mode-tessaly.err"
echo "resident desktop test ($mode) passed; screenshots in $artifacts"
