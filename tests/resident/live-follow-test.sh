#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Live watching that follows the tree, through the headless program on a
# real inotify tree; every change of live state is told in the log:
#   - a watched folder removed and made again, and a subscription folder
#     that is a link, pointed elsewhere;
#   - a file that keeps changing beside a finished document;
#   - a folder unreadable while a document is added, then readable;
#   - a tree that grows past the watch limit (the test build's seam), whose
#     documents the next timed run finds;
#   - lost events (a tiny event queue through the test build's seam): every
#     watch set anew, folders made meanwhile included.
# Each document is announced once. Needs a build with TESSALY_TEST_HOOKS.
#
#   live-follow-test.sh BIN_DIR
set -euo pipefail

bin=$1
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  chmod -R u+rwx "$work" 2>/dev/null || true
  [ -n "${KEEP_WORK:-}" ] || rm -rf "$work"
}
trap cleanup EXIT

current=
fail() {
  echo "FAIL (live watching follows the tree): $*" >&2
  if [ -n "$current" ]; then
    for log in out err; do
      echo "--- $current.$log" >&2; cat "$work/$current.$log" >&2 2>/dev/null || true
    done
  fi
  exit 1
}
# shellcheck source=../../scripts/desktop/session-helpers.sh
source "$here/../../scripts/desktop/session-helpers.sh"

# How often the program's balloons said TEXT (a row and its count).
said() { grep -c -F -- "$1" "$work/$current.out" || true; }
said_times() { [ "$(said "$1")" -ge "$2" ]; }
logged() { grep -q -F -- "$1" "$work/$current.err"; }
# The history of data folder $1 names document $2 exactly once.
once() {
  local times
  times=$(grep -c -F -- ",$2," "$1/history.dat" || true)
  [ "$times" -eq 1 ] || fail "$2 is in the history $times times"
}

# start NAME DATA FOLDER [ENV...]: a headless program on a new data folder
# with one subscription "Docs" over FOLDER and its subfolders; settle 2 s.
start() {
  local name=$1 data=$2 folder=$3
  shift 3
  mkdir -m 700 "$data"
  local ctl="$bin/tessalyctl --dir $data"
  $ctl settings set Conf_Interval "${interval:-60}" >/dev/null
  $ctl settings set Conf_Instant 1 >/dev/null
  $ctl settings set Conf_Settle 2 >/dev/null
  $ctl subs set 1 Name Docs >/dev/null
  $ctl subs set 1 Folder "$folder" >/dev/null
  $ctl subs set 1 FileName '*.txt' >/dev/null
  $ctl subs set 1 Subfolders 1 >/dev/null
  current=$name
  env "$@" ${as_user:-} "$bin/tessaly" --headless --dir "$data" >"$work/$name.out" 2>"$work/$name.err" &
  started=$!
  pids+=("$started")
}
stop() {
  kill -TERM "$1"
  wait "$1" || fail "the program did not end cleanly"
}

# Root ignores permissions; the program then runs without that power, so a
# folder it may not read is one (the test itself keeps it).
as_user=
unreadable=yes
if [ "$(id -u)" -eq 0 ]; then
  as_user="setpriv --inh-caps=-all --bounding-set=-dac_override,-dac_read_search"
  if ! $as_user true 2>/dev/null; then
    echo "note: root's power over permissions cannot be dropped here; the unreadable folder is left out" >&2
    as_user= unreadable=
  fi
fi

# --- One program, two subscriptions: Docs, and Linked over a link.
docs=$work/docs
mkdir -p "$docs" "$work/t1" "$work/t2"
ln -s "$work/t1" "$work/link"
start main "$work/data" "$docs"
main=$started
ctl="$bin/tessalyctl --dir $work/data"
$ctl subs set 2 Name Linked >/dev/null
$ctl subs set 2 Folder "$work/link" >/dev/null
$ctl subs set 2 FileName '*.txt' >/dev/null
wait_until "live watching did not start" 20 logged '即時ﾁｪｯｸ: Docs, Linked'
wait_until "the link was not told" 10 logged "$work/link はﾘﾝｸです。ﾘﾝｸ先 $work/t1 を監視します"

# The watched folder removed, then made again with a document in it.
rm -rf "$docs"
wait_until "the folder's going was not told" 10 logged "購読「Docs」: $docs は更新をすぐにﾁｪｯｸできないため"
wait_until "the tool tip line did not name the cause" 10 logged '即時ﾁｪｯｸ: Linked / Docs: ファイルまたはフォルダがありません'
mkdir "$docs"
echo back >"$docs/back.txt"
wait_until "the folder's return was not told" 10 logged "購読「Docs」: $docs の更新を再びすぐにﾁｪｯｸします"
wait_until "a document in the folder made again was not announced" 10 said_times 'Docs 1ﾌｧｲﾙ' 1

# Through the link, then the link pointed elsewhere.
echo one >"$work/t1/one.txt"
wait_until "a document behind the link was not announced" 10 said_times 'Linked 1ﾌｧｲﾙ' 1
ln -sfn "$work/t2" "$work/link"
wait_until "the new link target was not told" 10 logged "ﾘﾝｸ先が変わりました。ﾘﾝｸ先 $work/t2 を監視します"
echo two >"$work/t2/two.txt"
wait_until "a document behind the moved link was not announced" 10 said_times 'Linked 1ﾌｧｲﾙ' 2

# A file that keeps changing beside a finished document: the finished one
# is announced while the other still changes, the busy one once it stops.
(for _ in $(seq 40); do date +%s.%N >>"$docs/busy.txt"; sleep 0.5; done) &
writer=$!
pids+=("$writer")
busy_for() { [ "$(wc -l <"$docs/busy.txt")" -ge "$1" ]; }
wait_until "the busy file did not change for longer than the settle time" 10 busy_for 7
echo done >"$docs/done.txt"
wait_until "a finished document waited for a busy one" 10 said_times 'Docs 1ﾌｧｲﾙ' 2
kill -0 "$writer" 2>/dev/null || fail "the finished document came only once the busy file stopped"
grep -q -F 'busy.txt' "$work/data/history.dat" && fail "the busy file was announced while it still changed"
kill "$writer"
wait "$writer" 2>/dev/null || true
wait_until "the busy file was not announced once it settled" 10 said_times 'Docs 1ﾌｧｲﾙ' 3

# A folder the program cannot read while a document is added, then readable.
documents=(back.txt one.txt two.txt done.txt busy.txt)
if [ -n "$unreadable" ]; then
  mkdir -m 300 "$docs/locked" # documents can be put in, not listed
  wait_until "the unreadable folder was not told" 10 logged "$docs/locked"
  echo hidden >"$docs/locked/hidden.txt"
  chmod 755 "$docs/locked"
  wait_until "the document of the folder readable again was not announced" 10 said_times 'Docs 1ﾌｧｲﾙ' 4
  documents+=(hidden.txt)
fi
stop "$main"
for doc in "${documents[@]}"; do once "$work/data" "$doc"; done
[ "$(said 'ﾌｧｲﾙが更新されました')" -eq "${#documents[@]}" ] ||
  fail "expected ${#documents[@]} announcements, saw $(said 'ﾌｧｲﾙが更新されました')"

# --- Past the watch limit: told, and the documents go to the timed runs
# (every second here).
mkdir -p "$work/grow/a"
interval=1 start limit "$work/limit-data" "$work/grow" TESSALY_TEST_MINUTE_MS=1000 TESSALY_TEST_WATCH_LIMIT=4
wait_until "live watching did not start" 20 logged '即時ﾁｪｯｸ: Docs'
mkdir -p "$work/grow/b/c/d"
wait_until "the watch limit was not told" 10 logged \
  'Docs」: '"$work/grow"' は更新をすぐにﾁｪｯｸできないため、ｲﾝﾀｰﾊﾞﾙごとにﾁｪｯｸします (監視できるﾌｫﾙﾀﾞ数の上限'
wait_until "the tool tip line did not name the limit" 10 logged '即時ﾁｪｯｸ: なし / Docs: 監視できるﾌｫﾙﾀﾞ数の上限'
echo deep >"$work/grow/b/c/d/deep.txt"
wait_until "the timed run did not find the document" 10 said_times 'Docs 1ﾌｧｲﾙ' 1
stop "$started"
once "$work/limit-data" deep.txt

# --- Lost events: a burst of folders with documents overflows a queue of
# four events; every row is checked and every folder watched at once.
mkdir "$work/burst"
start overflow "$work/overflow-data" "$work/burst" TESSALY_TEST_EVENT_QUEUE=4
wait_until "live watching did not start" 20 logged '即時ﾁｪｯｸ: Docs'
(cd "$work/burst" && mkdir f1 f2 f3 f4 f5 f6 f7 f8 && for n in 1 2 3 4 5 6 7 8; do echo "$n" >"f$n/doc$n.txt"; done)
wait_until "the overflow was not told" 10 logged 'fs.inotify.max_queued_events'
wait_until "the burst was not announced" 15 grep -q 'Docs [0-9]*ﾌｧｲﾙ' "$work/overflow.out"
for n in 1 2 3 4 5 6 7 8; do
  wait_until "doc$n.txt of the burst was not recorded" 10 grep -q "doc$n.txt" "$work/overflow-data/history.dat"
done
count=$(said 'ﾌｧｲﾙが更新されました')
echo after >"$work/burst/f8/after.txt"
wait_until "a folder made during the overflow is not watched" 10 grep -q 'after.txt' "$work/overflow-data/history.dat"
# The run records the document before its balloon is printed.
wait_until "the late document was not announced" 10 said_times 'ﾌｧｲﾙが更新されました' $((count + 1))
[ "$(grep -c 'max_queued_events' "$work/overflow.err")" -ge 1 ] || fail "the overflow was not told"
stop "$started"
[ "$(said 'ﾌｧｲﾙが更新されました')" -eq $((count + 1)) ] || fail "the late document was not announced once"
for n in 1 2 3 4 5 6 7 8; do once "$work/overflow-data" "doc$n.txt"; done
once "$work/overflow-data" after.txt
echo "live watching follows the tree: test passed"
