#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The part of the desktop test that runs inside the D-Bus session; started by
# tray-desktop-test.sh with the X display already set.
set -euo pipefail

mode=$1 probe=$2 watcher=$3 artifacts=$4 work=$5
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
reader=$(dirname "$watcher")/lumitray_dbusmenu_reader
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap cleanup EXIT

fail() {
  echo "FAIL ($mode): $*" >&2
  echo "--- probe output" >&2; cat "$work/probe.log" >&2 || true
  echo "--- probe errors" >&2; cat "$work/probe.err" >&2 || true
  echo "--- host" >&2; cat "$work/host.log" >&2 2>/dev/null || true
  exit 1
}

# say COMMAND: sends the probe a command.
say() { echo "$1" >&4; }
# count FILE PATTERN: how many lines of FILE match.
count() { grep -cE "$2" "$1" 2>/dev/null || true; }

# wait_for FILE PATTERN [SECONDS]: waits until a line of FILE matches.
wait_for() {
  local file=$1 pattern=$2 limit=${3:-20}
  for _ in $(seq $((limit * 10))); do
    grep -qE "$pattern" "$file" 2>/dev/null && return 0
    sleep 0.1
  done
  fail "no line matching '$pattern' in $(basename "$file")"
}

bus_has() {
  dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.NameHasOwner "string:$1" 2>/dev/null | grep -q 'boolean true'
}

wait_for_name() {
  for _ in $(seq 200); do bus_has "$1" && return 0; sleep 0.1; done
  fail "$1 did not appear on the session bus"
}

# The notification daemon; a left click invokes a notice's default action.
mkdir -p "$work/dunst"
cat >"$work/dunst/dunstrc" <<'CONF'
[global]
    font = Noto Sans CJK JP 11
    geometry = "400x5-10+40"
    origin = top-right
    offset = 10x40
    mouse_left_click = do_action, close_current
CONF
dunst -config "$work/dunst/dunstrc" >"$work/dunst.log" 2>&1 &
pids+=($!)
wait_for_name org.freedesktop.Notifications

# shellcheck source=tray-hosts.sh
source "$here/tray-hosts.sh"
if [ "$mode" = panel ]; then
  start_panel_host "$work" || fail "the panel did not come up"
  expected_protocol=2
elif [ "$mode" = xembed ]; then
  start_xembed_tray "$work" || fail "trayer did not map its panel"
  expected_protocol=1
else
  "$watcher" >"$work/watcher.log" 2>&1 &
  pids+=($!)
  wait_for_name org.kde.StatusNotifierWatcher
  expected_protocol=2
fi

mkfifo "$work/commands"
"$probe" "$artifacts/tray-$mode.png" <"$work/commands" >"$work/probe.log" 2>"$work/probe.err" &
probe_pid=$!
pids+=($probe_pid)
exec 4>"$work/commands"

wait_for "$work/probe.log" '^PROTOCOL '
grep -q "^PROTOCOL $expected_protocol\$" "$work/probe.log" || fail "the probe chose another tray protocol"

# expect_menus N: the probe reports N menus of its own on screen.
expect_menus() {
  local asked last=
  for _ in $(seq 50); do
    asked=$(count "$work/probe.log" '^MENUS ')
    say menus
    for _ in $(seq 50); do
      [ "$(count "$work/probe.log" '^MENUS ')" -gt "$asked" ] && break
      sleep 0.1
    done
    last=$(grep '^MENUS ' "$work/probe.log" | tail -n1)
    [ "$last" = "MENUS $1" ] && return 0
    sleep 0.2
  done
  fail "the probe shows ${last#MENUS } menus, not $1"
}

# check_exported_menu ITEM SWITCH: the item exports the tray menu, its
# switch shown as SWITCH ("[x] 購読" or "[ ] 購読").
check_exported_menu() {
  "$reader" "$1" layout >"$work/layout.txt" 2>>"$work/probe.err" || fail "the item exports no menu"
  grep -qE '^MENU /' "$work/layout.txt" || fail "no menu path"
  grep '^ENTRY ' "$work/layout.txt" | cut -d' ' -f2- >"$work/entries.txt"
  printf '%s\n' "$2" '-' '開く' '終了する' | diff - "$work/entries.txt" >/dev/null ||
    fail "the exported menu is $(tr '\n' '|' <"$work/entries.txt")"
}

if [ "$mode" = panel ]; then
  item=$(registered_item) || fail "the item did not register with the panel"
  check_exported_menu "$item" '[x] 購読'
  # A right click on the icon in the panel shows the menu the panel draws
  # from the exported one; the program is not asked for one of its own.
  open_panel_menu || fail "a right click on the panel's icon showed no menu"
  say screenshot
  wait_for "$work/probe.log" '^SCREENSHOT '
  cp "$artifacts/tray-$mode.png" "$artifacts/tray-$mode-menu.png"
  expect_menus 0
  # The entries in their order: 購読, a separator, 開く, 終了する.
  xdotool key Down Down Return
  wait_for "$work/probe.log" '^ACTION 開く$'
  open_panel_menu || fail "the panel's menu did not open again"
  xdotool key Down Return
  wait_for "$work/probe.log" '^ACTION 購読 off$'
  check_exported_menu "$item" '[ ] 購読'
  open_panel_menu || fail "the panel's menu did not open a third time"
  xdotool key Down Down Down Return
  wait_for "$work/probe.log" '^ACTION 終了する$'
  [ "$(count "$work/probe.log" '^EVENT MouseDown')" -eq 0 ] || fail "the panel's right click reached the program too"
elif [ "$mode" = xembed ]; then
  wait_for "$work/probe.log" '^ICON '
  read -r _ x y w h < <(grep '^ICON ' "$work/probe.log")
  cx=$((x + w / 2)) cy=$((y + h / 2))
  xdotool mousemove "$cx" "$cy" click 3
  wait_for "$work/probe.log" '^EVENT MouseUp 2$'
  grep -q '^EVENT MouseDown 2$' "$work/probe.log" || fail "right click gave no MouseDown 2"
  # The program shows its menu for the right click; the tray shows none of its own.
  expect_menus 1
  xdotool key Escape
  expect_menus 0
  xdotool mousemove "$cx" "$cy" click --repeat 2 --delay 60 1
  wait_for "$work/probe.log" '^EVENT DblClick 1$'

  say balloon
  wait_for "$work/probe.log" '^EVENT BalloonShow$'
  wait_for "$work/probe.log" '^BALLOON '
  read -r _ x y w h < <(grep '^BALLOON ' "$work/probe.log")
  xdotool mousemove $((x + w / 2)) $((y + h / 2)) click 1
  wait_for "$work/probe.log" '^EVENT BalloonClick$'
else
  wait_for "$work/watcher.log" '^ITEM '
  read -r _ item < <(grep '^ITEM ' "$work/watcher.log")
  # A host sends two or three activations for one double click.
  for _ in 1 2 3; do
    dbus-send --session --type=method_call --dest="$item" /StatusNotifierItem \
      org.kde.StatusNotifierItem.Activate int32:10 int32:10
  done
  wait_for "$work/probe.log" '^EVENT DblClick 1$'
  # A host that draws no menu asks the program to show its own.
  dbus-send --session --type=method_call --dest="$item" /StatusNotifierItem \
    org.kde.StatusNotifierItem.ContextMenu int32:10 int32:10
  wait_for "$work/probe.log" '^EVENT MouseUp 2$'
  [ "$(grep -c '^EVENT DblClick' "$work/probe.log")" -eq 1 ] || fail "one burst opened more than once"
  expect_menus 1
  xdotool key Escape
  expect_menus 0

  # A host that draws menus reads the exported one and sends its clicks.
  check_exported_menu "$item" '[x] 購読'
  "$reader" "$item" click 開く || fail "the exported menu took no click on 開く"
  wait_for "$work/probe.log" '^ACTION 開く$'
  "$reader" "$item" click 購読 || fail "the exported menu took no click on 購読"
  wait_for "$work/probe.log" '^ACTION 購読 off$'
  check_exported_menu "$item" '[ ] 購読'
  "$reader" "$item" click 購読 >/dev/null
  wait_for "$work/probe.log" '^ACTION 購読 on$'
  "$reader" "$item" click 終了する >/dev/null
  wait_for "$work/probe.log" '^ACTION 終了する$'

  say balloon
  wait_for "$work/probe.log" '^EVENT BalloonShow$'
  # dunst draws the notice; take the screen with it on.
  for _ in $(seq 50); do
    [ "$(dunstctl count displayed 2>/dev/null || echo 0)" -ge 1 ] && break
    sleep 0.1
  done
  sleep 0.5
  say screenshot
  wait_for "$work/probe.log" '^SCREENSHOT '
  dunstctl action 0
  wait_for "$work/probe.log" '^EVENT BalloonClick$'
fi

wait_for "$work/probe.log" '^SCREENSHOT '
say quit
exec 4>&-
for _ in $(seq 100); do kill -0 "$probe_pid" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$probe_pid" 2>/dev/null; then fail "the probe did not end"; fi
wait "$probe_pid" || fail "the probe ended with an error"
echo "--- events and menu choices ($mode)"
grep -E '^(EVENT|ACTION) ' "$work/probe.log" || true
cp "$work/probe.err" "$artifacts/probe-$mode.err"
echo "desktop test ($mode) passed; screenshot $artifacts/tray-$mode.png"
