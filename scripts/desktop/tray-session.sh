#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The part of the desktop test that runs inside the D-Bus session; started by
# tray-desktop-test.sh with the X display already set.
set -euo pipefail

mode=$1 probe=$2 watcher=$3 artifacts=$4 work=$5
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
  exit 1
}

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

if [ "$mode" = xembed ]; then
  trayer --edge top --align right --widthtype pixel --width 120 --heighttype pixel --height 32 \
    --transparent false --tint 0x303030 --SetDockType true >"$work/trayer.log" 2>&1 &
  pids+=($!)
  for _ in $(seq 100); do xdotool search --classname trayer >/dev/null 2>&1 && break; sleep 0.1; done
  xdotool search --classname trayer >/dev/null 2>&1 || fail "trayer did not map its panel"
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

if [ "$mode" = xembed ]; then
  wait_for "$work/probe.log" '^ICON '
  read -r _ x y w h < <(grep '^ICON ' "$work/probe.log")
  cx=$((x + w / 2)) cy=$((y + h / 2))
  xdotool mousemove "$cx" "$cy" click 3
  wait_for "$work/probe.log" '^EVENT MouseUp 2$'
  grep -q '^EVENT MouseDown 2$' "$work/probe.log" || fail "right click gave no MouseDown 2"
  xdotool mousemove "$cx" "$cy" click --repeat 2 --delay 60 1
  wait_for "$work/probe.log" '^EVENT DblClick 1$'

  echo balloon >&4
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
  dbus-send --session --type=method_call --dest="$item" /StatusNotifierItem \
    org.kde.StatusNotifierItem.ContextMenu int32:10 int32:10
  wait_for "$work/probe.log" '^EVENT MouseUp 2$'
  [ "$(grep -c '^EVENT DblClick' "$work/probe.log")" -eq 1 ] || fail "one burst opened more than once"

  echo balloon >&4
  wait_for "$work/probe.log" '^EVENT BalloonShow$'
  # dunst draws the notice; take the screen with it on.
  for _ in $(seq 50); do
    [ "$(dunstctl count displayed 2>/dev/null || echo 0)" -ge 1 ] && break
    sleep 0.1
  done
  sleep 0.5
  echo screenshot >&4
  wait_for "$work/probe.log" '^SCREENSHOT '
  dunstctl action 0
  wait_for "$work/probe.log" '^EVENT BalloonClick$'
fi

wait_for "$work/probe.log" '^SCREENSHOT '
echo quit >&4
exec 4>&-
for _ in $(seq 100); do kill -0 "$probe_pid" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$probe_pid" 2>/dev/null; then fail "the probe did not end"; fi
wait "$probe_pid" || fail "the probe ended with an error"
echo "--- events ($mode)"
grep '^EVENT ' "$work/probe.log"
cp "$work/probe.err" "$artifacts/probe-$mode.err"
echo "desktop test ($mode) passed; screenshot $artifacts/tray-$mode.png"
