#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Live watching through the headless program, on a real inotify tree, with
# mails to a local SMTP sink:
#   - a burst of copies gives one announcement and one mail;
#   - a document written slowly in pieces (pauses shorter than the settle
#     time) is announced once, and its archive holds the final content;
#   - a folder created after the start is watched;
#   - a document and a folder moved in with old times, and a rename, are
#     each announced once;
#   - settings written with tessalyctl; SIGTERM ends the program cleanly.
# The interval is an hour: every announcement here comes from live watching.
#
#   live-watch-test.sh BIN_DIR
set -euo pipefail

bin=$1
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
sink_scripts=$here/../package
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  [ -n "${KEEP_WORK:-}" ] || rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "FAIL (live watching): $*" >&2
  for log in tessaly.out tessaly.err; do
    echo "--- $log" >&2; cat "$work/$log" >&2 2>/dev/null || true
  done
  exit 1
}
# shellcheck source=../../scripts/desktop/session-helpers.sh
source "$here/../../scripts/desktop/session-helpers.sh"
announcements() { grep -c 'Tessaly! ﾌｧｲﾙが更新されました' "$work/tessaly.out" || true; }
announced() { [ "$(announcements)" -ge "$1" ]; }
mails() { find "$work/mail" -name '*.eml' | wc -l; }
mailed() { [ "$(mails)" -ge "$1" ]; }
# The attachments of mail number N, unpacked into FOLDER.
unpack() {
  mkdir -p "$2"
  python3 "$sink_scripts/attachment.py" "$work/mail/$1.eml" "$2" >/dev/null
  (cd "$2" && for zip in *.zip; do unzip -q -o -P live-secret "$zip"; done)
}

data=$work/data docs=$work/docs
mkdir -m 700 "$data" "$work/mail"
mkdir "$docs"
python3 "$sink_scripts/smtp_sink.py" "$work/port" "$work/mail" &
pids+=($!)
wait_until "the mail sink did not start" 20 test -s "$work/port"
ctl() { "$bin/tessalyctl" --dir "$data" "$@" || fail "tessalyctl $*"; }
for setting in Conf_Interval=60 Conf_Instant=1 Conf_Settle=2 Conf_Mail=1 Conf_MailAdd=1 Conf_zip=1 \
  Conf_zipPasswd=live-secret Conf_MaxSize=10 Conf_SmtpSrv=127.0.0.1 "Conf_SmtpPort=$(cat "$work/port")" \
  Conf_SmtpAddr=tessaly@example.test; do
  ctl settings set "${setting%%=*}" "${setting#*=}"
done
ctl subs set 1 Name Docs
ctl subs set 1 Folder "$docs"
ctl subs set 1 FileName '*.txt'
ctl subs set 1 Subfolders 1
ctl subs set 1 MailTo reader@example.test

"$bin/tessaly" --headless --dir "$data" >"$work/tessaly.out" 2>"$work/tessaly.err" &
tessaly_pid=$!
pids+=($tessaly_pid)
wait_until "live watching did not start" 20 grep -qF '即時ﾁｪｯｸ: Docs' "$work/tessaly.err"

# --- A burst of copies: one announcement, one mail (the archives' password
# is set, so no password mail follows).
mkdir "$work/source"
for n in 1 2 3 4 5; do echo "copy $n" >"$work/source/copy$n.txt"; done
cp "$work/source"/copy*.txt "$docs/"
wait_until "the burst was not announced" 30 grep -qF 'Docs 5ﾌｧｲﾙ' "$work/tessaly.out"
wait_until "the burst's mail did not arrive" 30 mailed 1
[ "$(announcements)" -eq 1 ] || fail "the burst was announced $(announcements) times"

# --- A slow writer: pieces with pauses shorter than the settle time.
{
  for piece in one two three four five six; do
    echo "piece $piece"
    sleep 0.5
  done
} >"$docs/slow.txt"
wait_until "the slow document was not announced" 30 announced 2
wait_until "the slow document's mail did not arrive" 30 mailed 2
unpack 2 "$work/slow"
cmp -s "$docs/slow.txt" "$work/slow/slow.txt" || fail "the archive does not hold the finished document"

# --- A folder made after the start is watched. Its first document comes
# with it and is found by the check the new folder calls for; the second,
# written after that check, only a watch on the new folder can report (the
# next timed check is an hour away).
mkdir "$docs/later"
echo "early news" >"$docs/later/early.txt"
wait_until "a document in a new folder was not announced" 30 announced 3
wait_until "the new folder's mail did not arrive" 30 mailed 3
echo "late news" >"$docs/later/late.txt"
wait_until "a document written later in a new folder was not announced" 30 announced 4
wait_until "the mail of the later document did not arrive" 30 mailed 4
unpack 4 "$work/late"
cmp -s "$docs/later/late.txt" "$work/late/late.txt" || fail "the new folder's document did not arrive"

# --- A document moved in with its old times, a whole folder moved in, and
# a rename: each announced once, though their times are long past.
echo "archived" >"$work/source/moved.txt"
touch -d '2020-01-01 00:00:00' "$work/source/moved.txt"
mv "$work/source/moved.txt" "$docs/"
wait_until "a document moved in was not announced" 30 announced 5
mkdir "$work/box"
echo "boxed" >"$work/box/boxed.txt"
touch -d '2020-01-01 00:00:00' "$work/box/boxed.txt"
mv "$work/box" "$docs/box"
wait_until "a folder moved in was not announced" 30 announced 6
mv "$docs/moved.txt" "$docs/renamed.txt"
wait_until "a renamed document was not announced" 30 announced 7
wait_until "the last mail did not arrive" 30 mailed 7

[ "$(announcements)" -eq 7 ] || fail "expected seven announcements, saw $(announcements)"
[ "$(mails)" -eq 7 ] || fail "expected seven mails, saw $(mails)"
[ "$(grep -c '\.txt' "$data/history.dat")" -eq 11 ] || fail "the history does not hold the eleven documents once each"
kill -TERM "$tessaly_pid"
wait "$tessaly_pid" || fail "the program did not end cleanly"
echo "live watching test passed"
