#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Live-watching benchmark, through the headless program and tessalyctl.
#
#   run_live_bench.sh [--files N | --root TREE] [--rounds R] [--settle S] [--idle SECONDS] [--bin-dir DIR]
#
# 1. Latency: from the close of a written document to its balloon on the
#    headless program's standard output, R rounds; prints the median
#    against the target, the settle time plus one second.
# 2. Idle: the program's CPU time over SECONDS with nothing changing, with
#    live watching on and off.
# 3. Watches: the time and memory to set the watches on the N-file tree
#    (default 1,000,000) against one walk of it.
# 4. Same history: documents written in bursts are announced by live
#    checks; the same tree checked once by a timed run without live
#    watching records the same documents, and a timed run after the live
#    checks records nothing more.
# Timings never fail the script; a wrong count does.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
files=1000000
rounds=5
settle=5
idle=10
root=
bin_dir="${TESSALY_BIN_DIR:-$here/../build/bin}"
while [ $# -gt 0 ]; do
    case "$1" in
        --files) files=$2; shift 2 ;;
        --rounds) rounds=$2; shift 2 ;;
        --settle) settle=$2; shift 2 ;;
        --idle) idle=$2; shift 2 ;;
        --root) root=$2; shift 2 ;;
        --bin-dir) bin_dir=$2; shift 2 ;;
        *) echo "unknown option: $1" >&2; exit 2 ;;
    esac
done
for tool in make_tree live_bench tessaly tessalyctl; do
    [ -x "$bin_dir/$tool" ] || { echo "missing $bin_dir/$tool (build it, or pass --bin-dir)" >&2; exit 2; }
done
ctl="$bin_dir/tessalyctl"
work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
status=0

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
balloons() { grep -c 'Tessaly! ﾌｧｲﾙが更新されました' "$1" || true; }
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
# data folder, watched folder, live flag
setup() {
    mkdir -p -m 700 "$1"
    mkdir -p "$2"
    "$ctl" --dir "$1" settings set Conf_Interval 60
    "$ctl" --dir "$1" settings set Conf_Instant "$3"
    "$ctl" --dir "$1" settings set Conf_Settle "$settle"
    "$ctl" --dir "$1" subs set 1 Name bench
    "$ctl" --dir "$1" subs set 1 Folder "$2"
    "$ctl" --dir "$1" subs set 1 FileName '*.doc*'
    "$ctl" --dir "$1" subs set 1 Subfolders 1
}
# data folder, output -> the headless program's pid in `started`
start_headless() {
    "$bin_dir/tessaly" --headless --dir "$1" >"$2" 2>"$2.err" &
    started=$!
    pids+=("$started")
    for _ in $(seq 200); do grep -q 'running headless' "$2.err" && return 0; sleep 0.05; done
    echo "the headless program did not start: $(cat "$2.err")" >&2
    exit 1
}
stop_headless() {
    kill -TERM "$1"
    wait "$1" || true
}
documents() { # data folder -> folder, file and written time of every recorded document, sorted
    "$ctl" --dir "$1" history | cut -d, -f3-5 | sort
}

# 1. Latency.
data=$work/latency docs=$work/latency-docs
setup "$data" "$docs" 1
start_headless "$data" "$work/latency.out"
pid=$started
latencies=()
for ((round = 1; round <= rounds; round++)); do
    before=$(balloons "$work/latency.out")
    printf 'round %s\n' "$round" >"$docs/round$round.doc"
    closed=$EPOCHREALTIME
    until [ "$(balloons "$work/latency.out")" -gt "$before" ]; do sleep 0.01; done
    shown=$EPOCHREALTIME
    latency=$(awk -v a="$closed" -v b="$shown" 'BEGIN { printf "%.3f", b - a }')
    latencies+=("$latency")
    echo "round $round: close to balloon ${latency}s"
done
m_latency=$(median "${latencies[@]}")
target=$((settle + 1))
echo "close to balloon: median ${m_latency}s, target ${target}s (Conf_Settle + 1 s), ratio $(ratio "$m_latency" "$target")"

# 2. Idle: nothing changes.
idle_cpu() { # pid -> CPU seconds it used over the idle time
    local t0 t1
    sleep 1
    t0=$(cpu_ticks "$1")
    sleep "$idle"
    t1=$(cpu_ticks "$1")
    awk -v t=$((t1 - t0)) -v hz="$(getconf CLK_TCK)" 'BEGIN { printf "%.2f", t / hz }'
}
live_cpu=$(idle_cpu "$pid")
stop_headless "$pid"
[ "$(balloons "$work/latency.out")" -eq "$rounds" ] || { echo "idle time announced something" >&2; status=1; }
data=$work/idle-off
setup "$data" "$docs" 0
start_headless "$data" "$work/idle-off.out"
off_cpu=$(idle_cpu "$started")
stop_headless "$started"
echo "idle ${idle}s: CPU ${live_cpu}s with live watching, ${off_cpu}s without"

# 3. Watches against a walk of the N-file tree (made once, kept under bench/tree).
# A tree given with --root is used as it is.
if [ -n "$root" ]; then
    files=$(find "$root" -type f | wc -l)
else
    root="$here/tree/files-$files"
    if [ ! -f "$root.info" ]; then
        rm -rf "$root"
        mkdir -p "$(dirname "$root")"
        "$bin_dir/make_tree" --root "$root" --files "$files" >"$root.info.tmp"
        mv "$root.info.tmp" "$root.info"
    fi
fi
"$bin_dir/live_bench" --root "$root" >"$work/watch" # warms the cache
"$bin_dir/live_bench" --root "$root" >"$work/watch"
read -r watch_line <"$work/watch"
field() { sed -E "s/.*$1=([^ ]+).*/\\1/" <<<"$watch_line"; }
echo "watches on the $files-file tree: $(field folders) folders in $(field watch_seconds)s" \
     "(+$(field watch_rss_kb) kB here, about 1 kB each in the kernel), state $(field state);" \
     "one walk $(field walk_seconds)s; ratio watch/walk $(ratio "$(field watch_seconds)" "$(field walk_seconds)")"
if [ "$(field state)" != live ]; then
    echo "note: the tree was not watched live ($(field state)); fs.inotify.max_user_watches is" \
         "$(cat /proc/sys/fs/inotify/max_user_watches)"
fi

# 4. The same documents with and without live watching.
data=$work/same-live docs=$work/same-docs
setup "$data" "$docs" 1
start_headless "$data" "$work/same.out"
mkdir -p "$docs/a/b"
for burst in 1 2 3; do
    for n in 1 2 3 4; do echo "burst $burst $n" >"$docs/a/b/burst$burst-$n.doc"; done
    echo "other" >"$docs/burst$burst.txt"
    until [ "$(balloons "$work/same.out")" -ge "$burst" ]; do sleep 0.05; done
done
stop_headless "$started"
if [ "$(balloons "$work/same.out")" -ne 3 ]; then
    echo "three bursts gave $(balloons "$work/same.out") announcements" >&2
    status=1
fi
"$ctl" --dir "$data" check >"$work/after-live" 2>&1
if [ -s "$work/after-live" ]; then
    echo "a timed run after the live checks found more:" >&2
    cat "$work/after-live" >&2
    status=1
fi
timed=$work/same-timed
setup "$timed" "$docs" 0
"$ctl" --dir "$timed" check >/dev/null
if documents "$data" | cmp -s - <(documents "$timed"); then
    echo "same history: $(documents "$data" | wc -l) documents, live checks and a timed run agree"
else
    echo "live checks and a timed run recorded different documents:" >&2
    diff <(documents "$data") <(documents "$timed") >&2 || true
    status=1
fi
exit "$status"
