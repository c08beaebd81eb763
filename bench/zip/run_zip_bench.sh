#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Zip benchmark: packing one file with a password through the zip component
# against `zip -P` on the same file, in the same run.
#
#   run_zip_bench.sh [--size MB] [--rounds R] [--bin-dir DIR] [--work DIR]
#
# Writes a reproducible sample of MB megabytes (default 50), then runs R
# interleaved rounds (default 5) of
#   zip -q -P PASSWORD zip.zip sample.bin
#   zip_bench pack tessaly.zip PASSWORD sample.bin
# Both archives are checked after every round: `unzip -P` must give back the
# sample's exact bytes, the entry must be encrypted, and a wrong password
# must fail. Prints the median wall-clock times and their ratio. Exits
# non-zero only when a check fails; timings never fail it.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
size=50
rounds=5
bin_dir="${TESSALY_BIN_DIR:-$here/../../build/bin}"
work=""
password='Bench Pass'

while [ $# -gt 0 ]; do
    case "$1" in
        --size) size=$2; shift 2 ;;
        --rounds) rounds=$2; shift 2 ;;
        --bin-dir) bin_dir=$2; shift 2 ;;
        --work) work=$2; shift 2 ;;
        *) echo "unknown option: $1" >&2; exit 2 ;;
    esac
done

for tool in zip unzip; do
    command -v "$tool" >/dev/null || { echo "missing $tool (scripts/install-deps.sh test-zip)" >&2; exit 2; }
done
[ -x "$bin_dir/zip_bench" ] || { echo "missing $bin_dir/zip_bench (build it, or pass --bin-dir)" >&2; exit 2; }

if [ -z "$work" ]; then
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
fi
mkdir -p "$work"
work=$(cd "$work" && pwd)
sample="$work/sample.bin"
"$bin_dir/zip_bench" sample "$sample" "$size"

now() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.6f", b - a }'; }

# check ARCHIVE: the entry opens with the password to the sample's bytes,
# is marked encrypted, and does not open with a wrong one.
check() {
    local archive=$1
    unzip -p -P "$password" "$archive" sample.bin | cmp -s - "$sample" \
        || { echo "FAIL: $archive does not give back the sample" >&2; exit 1; }
    local flags
    flags=$(od -An -tu1 -j6 -N1 "$archive" | tr -d ' ')
    [ $((flags & 1)) -eq 1 ] || { echo "FAIL: $archive is not encrypted" >&2; exit 1; }
    if unzip -p -P "wrong $password" "$archive" sample.bin 2>/dev/null | cmp -s - "$sample"; then
        echo "FAIL: $archive opens with a wrong password" >&2
        exit 1
    fi
}

zip_times=()
ours_times=()
for ((round = 1; round <= rounds; round++)); do
    rm -f "$work/zip.zip" "$work/tessaly.zip"
    start=$(now)
    (cd "$work" && zip -q -P "$password" zip.zip sample.bin)
    zip_times+=("$(elapsed "$start")")
    start=$(now)
    "$bin_dir/zip_bench" pack "$work/tessaly.zip" "$password" "$sample"
    ours_times+=("$(elapsed "$start")")
    check "$work/zip.zip"
    check "$work/tessaly.zip"
done

median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
zip_median=$(median "${zip_times[@]}")
ours_median=$(median "${ours_times[@]}")
printf 'sample: %s MB, %d rounds, median wall-clock time\n' "$size" "$rounds"
printf '  zip -P          %8.3f s  archive %d bytes\n' "$zip_median" "$(stat -c %s "$work/zip.zip")"
printf '  zip component   %8.3f s  archive %d bytes\n' "$ours_median" "$(stat -c %s "$work/tessaly.zip")"
awk -v a="$ours_median" -v b="$zip_median" 'BEGIN { printf "  ratio component/zip: %.2f (target at most 1.20)\n", a / b }'
