#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The part of the check-run desktop test inside the D-Bus session; started
# by check-run-desktop-test.sh with the X display already set.
set -euo pipefail

bin=$1 artifacts=$2 work=$3
frame_title='Tessaly Ver  1.2.0'
pids=()
tessaly_pid=
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap cleanup EXIT

# A picture is only for people to look at: one that fails never fails the test.
shot() { "$bin/resident_desktop_shot" "$artifacts/check-run-$1.png" 2>/dev/null || echo "no picture $1" >&2; }
fail() {
  echo "FAIL (check run): $*" >&2
  shot failure || true
  for log in tessaly.err server.log; do
    echo "--- $log" >&2; cat "$work/$log" >&2 2>/dev/null || true
  done
  exit 1
}
# shellcheck source=session-helpers.sh
source "$(dirname "${BASH_SOURCE[0]}")/session-helpers.sh"
# shellcheck source=tray-hosts.sh
source "$(dirname "${BASH_SOURCE[0]}")/tray-hosts.sh"
traces() { grep -cF -- "tessaly-trace: $1" "$work/tessaly.err" || true; }
more_traces_than() { [ "$(traces "$1")" -gt "$2" ]; }
# Runs never overlap: one has started and not ended.
run_in_progress() { [ "$(traces 'check started')" -gt "$(traces 'check ended')" ]; }

rm -f "$artifacts"/check-run-*.png
if command -v openbox >/dev/null; then
  openbox >"$work/openbox.log" 2>&1 &
  pids+=($!)
fi
start_xembed_tray "$work" || fail "trayer did not map its panel"

# A mail server that takes every connection and keeps silent until the
# file "release" appears; from then on it answers as a plain SMTP server
# and takes every mail, the held connections first.
cat >"$work/silent.py" <<'PY'
import os, socket, sys
work = sys.argv[1]

def log(line):
    with open(os.path.join(work, "server.log"), "a") as out:
        out.write(line + "\n")

def serve(connection):
    lines = connection.makefile("rb")
    connection.sendall(b"220 silent ESMTP\r\n")
    for line in lines:
        command = line.strip().upper()
        if command == b"DATA":
            connection.sendall(b"354 go ahead\r\n")
            while lines.readline() not in (b".\r\n", b""):
                pass
            connection.sendall(b"250 queued\r\n")
            log("mail taken")
        elif command == b"QUIT":
            connection.sendall(b"221 bye\r\n")
            break
        else:
            connection.sendall(b"250 ok\r\n")
    connection.close()

server = socket.socket()
server.bind(("127.0.0.1", 0))
server.listen(8)
server.settimeout(0.1)
with open(os.path.join(work, "port.tmp"), "w") as out:
    out.write(str(server.getsockname()[1]))
os.rename(os.path.join(work, "port.tmp"), os.path.join(work, "port"))
held = []
while True:
    released = os.path.exists(os.path.join(work, "release"))
    while released and held:
        serve(held.pop(0))
    try:
        connection, _ = server.accept()
    except socket.timeout:
        continue
    log("connected")
    held.append(connection)
PY
python3 "$work/silent.py" "$work" &
pids+=($!)
wait_until "the mail server did not start" 20 test -s "$work/port"

data=$work/data docs=$work/docs
mkdir -p -m 700 "$data" "$docs"
ctl() { "$bin/tessalyctl" --dir "$data" "$@"; }
ctl settings set Conf_Interval 1
ctl settings set Conf_Mail 1
ctl settings set Conf_SmtpSrv 127.0.0.1
ctl settings set Conf_SmtpPort "$(cat "$work/port")"
ctl settings set Conf_SmtpAddr tessaly@example.jp
printf 'Docs,,%s,*.txt,0,a@example.jp,,\r\n' "$docs" >"$data/subscription.dat"
echo "news" >"$docs/report.txt"

TESSALY_TEST_MINUTE_MS=1000 TESSALY_TEST_TRACE=1 \
  "$bin/tessaly" --dir "$data" >"$work/tessaly.out" 2>"$work/tessaly.err" &
tessaly_pid=$!
pids+=($tessaly_pid)

wait_docked

# --- The run reaches the server, which keeps it waiting.
wait_until "the check run did not reach the mail server" 30 grep_in server.log connected
run_in_progress || fail "no check run in progress while the server holds its connection"

# --- Meanwhile the windows answer: a double click opens the main window,
# its file menu opens and closes, and the window is drawn.
xdotool mousemove "$cx" "$cy" click --repeat 2 --delay 60 1
wait_until "the main window did not open during the check run" 20 has_window_named "$frame_title"
frame=$(has_window_named "$frame_title")
before=$(window_count)
xdotool windowfocus --sync "$frame" key alt+f
wait_until "the file menu did not open during the check run" 20 more_windows_than "$before"
shot menu-during-run
xdotool key Escape
wait_until "the file menu did not close" 20 windows_at_most "$before"
xdotool windowsize --sync "$frame" 700 560
sleep 0.3 # only for the picture: let the window finish drawing
shot main-window-during-run
# The tray menu opens too.
before=$(window_count)
xdotool mousemove "$cx" "$cy" click 3
wait_until "the tray menu did not open during the check run" 20 more_windows_than "$before"
shot tray-menu-during-run
xdotool key Escape
wait_until "the tray menu did not close" 20 windows_at_most "$before"
run_in_progress || fail "the check run ended before the windows were tried"

# --- The server answers at last: the mail goes out and the run ends.
touch "$work/release"
wait_until "the held mail was not taken" 30 grep_in server.log 'mail taken'
wait_until "the check run did not end" 30 grep_in tessaly.err 'tessaly-trace: check ended'

# --- A server that refuses every connection: each run fails, the failure is
# told once in a window nobody answers, and the timer's runs go on.
closed_port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
# The port is taken in, and a run has started with it, before the new
# document is there: a run of the old port would mail it through the
# server that still answers. Runs never overlap.
set_port() {
  local before
  before=$(traces 'data files taken in')
  ctl settings set Conf_SmtpPort "$1"
  wait_until "the program did not take in the new port" 20 more_traces_than 'data files taken in' "$before"
  before=$(traces 'check started')
  wait_until "no run started with the new port" 20 more_traces_than 'check started' "$before"
}
set_port "$closed_port"
echo "more news" >"$docs/second.txt"
wait_until "no failed run told its failure" 30 grep_in tessaly.err 'tessaly-trace: notice: ﾒｰﾙ送信で失敗しました(1)。'
ran=$(traces 'check ended')
wait_until "the timer's runs stopped after a failure" 60 more_traces_than 'check ended' $((ran + 3))
[ "$(traces 'notice:')" -eq 1 ] || fail "the same failure was told $(traces 'notice:') times"
shot failure-told
# The window of the failure closes with Enter.
notice=$(has_window_named Tessaly) || fail "the failure is not shown in a window"
xdotool windowfocus --sync "$notice" key Return
notice_closed() { ! has_window_named Tessaly; }
wait_until "the failure's window did not close" 20 notice_closed

# --- 終了する during a run that waits for a silent server: the program ends
# within 5 seconds and shows nothing more.
rm -f "$work/release"
connections=$(grep -c connected "$work/server.log")
more_connections() { [ "$(grep -c connected "$work/server.log")" -gt "$connections" ]; }
set_port "$(cat "$work/port")"
# A new document makes a new mail, and with it the waiting one is tried
# again at once.
echo "newest" >"$docs/third.txt"
wait_until "no run reached the silent server again" 30 more_connections
run_in_progress || fail "no check run in progress while the server holds its connection"
told=$(traces 'notice:')
# The main window's Tessalyを終了する(&E) ends the program as the tray's
# 終了する does once answered (the balloons of the runs come and go beside
# the tray's menu, which makes its window hard to tell).
frame=$(has_window_named "$frame_title") || fail "the main window is gone"
xdotool windowfocus --sync "$frame" key alt+f
shot quit-menu
xdotool key e
asked=$(date +%s%N)
ended() { ! kill -0 "$tessaly_pid" 2>/dev/null; }
wait_until "the program did not end" 20 ended
took=$((($(date +%s%N) - asked) / 1000000))
[ "$took" -le 5000 ] || fail "the program took $took ms to end during a run"
[ "$(traces 'notice:')" -eq "$told" ] || fail "the program told something after its end"
wait "$tessaly_pid" || fail "the program ended with an error"
echo "check-run desktop test passed (ended in $took ms during a run); screenshots in $artifacts"
