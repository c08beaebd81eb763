#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Check-run benchmark: a complete `tessalyctl check` against GNU find over the
# same generated tree, in the same run.
#
#   run_check_bench.sh [--files N] [--rounds R] [--record N] [--bin-dir DIR]
#
# 1. Unchanged tree (default 200,000 files): a first check builds the
#    subscription's record of what it has seen (its size per document is
#    printed), then R interleaved rounds time `tessalyctl check` against
#    that record and `find ROOT -type f -iname '*.doc*' -newermt <a last
#    check after every file time>`; prints the medians, the ratio
#    find/check and the peak resident memory of the checks.
# 2. First run: a tree whose matching documents (default about 10,000) are
#    all new is checked once; prints the documents recorded per second
#    (history writes dominate).
# Timings never fail the script; a wrong count does.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
files=200000
rounds=5
record=10000
bin_dir="${TESSALY_BIN_DIR:-$here/../build/bin}"
while [ $# -gt 0 ]; do
    case "$1" in
        --files) files=$2; shift 2 ;;
        --rounds) rounds=$2; shift 2 ;;
        --record) record=$2; shift 2 ;;
        --bin-dir) bin_dir=$2; shift 2 ;;
        *) echo "unknown option: $1" >&2; exit 2 ;;
    esac
done
for tool in make_tree tessalyctl; do
    [ -x "$bin_dir/$tool" ] || { echo "missing $bin_dir/$tool (build it, or pass --bin-dir)" >&2; exit 2; }
done
ctl="$bin_dir/tessalyctl"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

tree() { # files -> root (made once, kept under bench/tree)
    local root="$here/tree/files-$1"
    if [ ! -f "$root.info" ]; then
        rm -rf "$root"
        mkdir -p "$(dirname "$root")"
        "$bin_dir/make_tree" --root "$root" --files "$1" > "$root.info.tmp"
        mv "$root.info.tmp" "$root.info"
        # Files born in the second a walk starts make the check walk again
        # a second later; let the clock move past the generation first.
        sleep 1
    fi
    echo "$root"
}
subscribe() { # data root last-check
    "$ctl" --dir "$1" subs set 1 Name bench
    "$ctl" --dir "$1" subs set 1 Folder "$2"
    "$ctl" --dir "$1" subs set 1 FileName '*.doc*'
    "$ctl" --dir "$1" subs set 1 Subfolders 1
    "$ctl" --dir "$1" subs set 1 LastCheck "$3"
}
elapsed() {
    local start=$EPOCHREALTIME
    "$@" > "$work/out"
    local end=$EPOCHREALTIME
    awk -v a="$start" -v b="$end" 'BEGIN { printf "%.4f", b - a }'
}
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

# 1. Nothing changed.
root=$(tree "$files")
data="$work/unchanged"
mkdir -p "$data"
future="2099/12/31 00:00:00"
subscribe "$data" "$root" "$future"
run_find() { find "$root" -type f -iname '*.doc*' -newermt '2099-12-31 00:00:00'; }
run_find_all() { find "$root" -type f -iname '*.doc*'; }
run_check() { "$ctl" --dir "$data" subs set 1 LastCheck "$future" && "$ctl" --dir "$data" check; }
documents=$(run_find_all | wc -l)
run_find > /dev/null
run_check > /dev/null
record_bytes=$(stat -c %s "$data/seen01.dat")
echo "record: $record_bytes bytes for $documents documents," \
     "$(awk -v b="$record_bytes" -v n="$documents" 'BEGIN { printf "%.1f", b / n }') bytes per document"
find_times=() check_times=() peaks=()
status=0
for ((round = 1; round <= rounds; round++)); do
    t_find=$(elapsed run_find)
    "$ctl" --dir "$data" subs set 1 LastCheck "$future"
    t_check=$(elapsed /usr/bin/time -f '%M' -o "$work/rss" "$ctl" --dir "$data" check)
    if [ -s "$work/out" ]; then
        echo "the unchanged tree reported updates:" >&2
        cat "$work/out" >&2
        status=1
    fi
    find_times+=("$t_find") check_times+=("$t_check") peaks+=("$(cat "$work/rss")")
    echo "round $round: find ${t_find}s  tessalyctl check ${t_check}s  peak $(cat "$work/rss") kB"
done
m_find=$(median "${find_times[@]}") m_check=$(median "${check_times[@]}")
peak=$(printf '%s\n' "${peaks[@]}" | sort -n | tail -n1)
echo "unchanged $files-file tree: find ${m_find}s, check ${m_check}s," \
     "ratio find/check $(ratio "$m_find" "$m_check")x (target 2.3x on two cores)," \
     "peak resident memory of the check $((peak / 1024)) MB (target 16 MB)"

# 2. A first run that records every matching document.
record_root=$(tree $((record * 3)))
data="$work/first"
mkdir -p "$data"
subscribe "$data" "$record_root" ""
t_first=$(elapsed "$ctl" --dir "$data" check)
lines=$("$ctl" --dir "$data" history | wc -l)
echo "first run: $lines documents recorded in ${t_first}s," \
     "$(awk -v n="$lines" -v t="$t_first" 'BEGIN { printf "%.0f", n / t }') lines per second"
[ "$lines" -gt 0 ] || status=1
exit "$status"
