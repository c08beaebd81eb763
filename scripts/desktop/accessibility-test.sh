#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The windows as a screen reader sees them: tessaly on a 1024x600 virtual X
# server under openbox, with a tray and the AT-SPI registry in a D-Bus
# session, its accessibility on. A second start on the same data folder
# brings up the main window; tests/windows/accessibility_walk.py then opens
# every child window through the menus' accessible actions and checks that
# each control has a name and that Tab (typed with xdotool) goes round all
# of them.
#
#   accessibility-test.sh BIN_DIR WALKER ARTIFACT_DIR
#
# BIN_DIR holds tessaly, tessalyctl and resident_desktop_shot; WALKER is
# accessibility_walk.py. A screenshot of a failure goes to ARTIFACT_DIR.
set -euo pipefail

bin=$1 walker=$2 artifacts=$3
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
mkdir -p "$artifacts"

if [ "${4:-}" != --in-session ]; then
  # shellcheck source=virtual-display.sh
  source "$here/virtual-display.sh"
  begin_desktop_test
  start_virtual_display "$work" 1024x600
  # The bridge to AT-SPI is what this test is about.
  unset NO_AT_BRIDGE
  export work
  dbus-run-session -- bash "${BASH_SOURCE[0]}" "$bin" "$walker" "$artifacts" --in-session
  exit
fi

frame_title='Tessaly Ver  1.2.0'
pids=()
tessaly_pid=
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap cleanup EXIT
fail() {
  echo "FAIL (accessibility): $*" >&2
  "$bin/resident_desktop_shot" "$artifacts/accessibility-failure.png" 2>/dev/null || true
  for log in tessaly.err walk.log; do
    echo "--- $log" >&2; cat "$work/$log" >&2 2>/dev/null || true
  done
  exit 1
}
# shellcheck source=session-helpers.sh
source "$here/session-helpers.sh"
# shellcheck source=tray-hosts.sh
source "$here/tray-hosts.sh"
bus_has() {
  dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.NameHasOwner "string:$1" 2>/dev/null | grep -q 'boolean true'
}

# --- The accessibility bus (its registry is started on demand), a window
# manager and a tray.
/usr/libexec/at-spi-bus-launcher --launch-immediately >"$work/at-spi.log" 2>&1 &
pids+=($!)
wait_until "the accessibility bus did not start" 20 bus_has org.a11y.Bus
openbox >"$work/openbox.log" 2>&1 &
pids+=($!)
start_xembed_tray "$work" || fail "trayer did not map its panel"

# --- A data folder whose windows have every control enabled: mail with
# authentication and zipped attachments, a password lock, a subscription
# and a history line.
data=$work/data
mkdir -p -m 700 "$data"
ctl() { "$bin/tessalyctl" --dir "$data" "$@"; }
for flag in Conf_Mail Conf_SmtpAuth Conf_MailAdd Conf_zip; do ctl settings set "$flag" 1; done
ctl subs set 1 Name Docs
ctl subs set 1 Folder "$work"
printf '26年12月05_09:00:00,Docs,%s,a.txt,26年12月04_08:00:00,\r\n' "$work" | iconv -f UTF-8 -t CP932 >"$data/history.hst"

export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
TESSALY_TEST_TRACE=1 "$bin/tessaly" --dir "$data" >"$work/tessaly.out" 2>"$work/tessaly.err" &
tessaly_pid=$!
pids+=($tessaly_pid)
wait_docked
# A second start asks the running one for its main window, and ends.
"$bin/tessaly" --dir "$data" >>"$work/tessaly.out" 2>>"$work/tessaly.err" || fail "the second start failed"
wait_until "the main window did not open" 20 has_window_named "$frame_title"
xdotool windowactivate --sync "$(has_window_named "$frame_title")" >/dev/null 2>&1 || true

# The Debian Python, whose packages hold pyatspi.
/usr/bin/python3 "$walker" "$frame_title" >"$work/walk.log" 2>&1 || fail "the walk found faults"
cat "$work/walk.log"
kill -TERM "$tessaly_pid"
ended() { ! kill -0 "$tessaly_pid" 2>/dev/null; }
wait_until "the program did not end" 20 ended
echo "accessibility test passed"
