#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the libFuzzer targets with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer into build-fuzz/, then runs each one for a
# bounded time (default 60 s; --seconds N) starting from the seeds in
# fuzz/corpus/<target>/. Any crash, hang or sanitizer report fails the run.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${TESSALY_FUZZ_BUILD_DIR:-$root/build-fuzz}
seconds=60
only=""
while [ $# -gt 0 ]; do
  case "$1" in
    --seconds) seconds=$2; shift 2 ;;
    --only) only=$2; shift 2 ;;
    *) echo "usage: fuzz.sh [--seconds N] [--only TARGET]" >&2; exit 2 ;;
  esac
done

# The zip target compiles the zip component, which needs libarchive.
"$root/scripts/install-deps.sh" build build-zip test
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DTESSALY_FUZZ=ON \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSALY_WERROR="${TESSALY_WERROR:-OFF}" >/dev/null
cmake --build "$build" -- -j"$(nproc)" >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# One target: its own corpus and folder, so that targets run side by side.
fuzz_target() { # binary
  local binary=$1 name corpus seeds
  name=$(basename "$binary")
  corpus="$work/$name/corpus"
  mkdir -p "$corpus"
  seeds="$root/fuzz/corpus/${name#fuzz_}"
  [ -d "$seeds" ] && cp "$seeds"/* "$corpus"/ 2>/dev/null || true
  if (cd "$work/$name" && "$binary" corpus -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -max_len=65536 -print_final_stats=0 >"$work/$name/log" 2>&1); then
    echo "fuzz: $name ok (${seconds}s)"
  else
    {
      echo "fuzz: $name FAILED"
      tail -n 40 "$work/$name/log"
    } >&2
    mkdir -p "$build/artifacts"
    cp "$work/$name"/crash-* "$work/$name"/timeout-* "$work/$name"/leak-* "$build/artifacts/" 2>/dev/null || true
    return 1
  fi
}

# As many targets at once as there are processors.
jobs=$(nproc)
for binary in "$build"/bin/fuzz_*; do
  [ -z "$only" ] || [ "$only" = "$(basename "$binary")" ] || continue
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n || true; done
  { fuzz_target "$binary" && touch "$work/$(basename "$binary").ok"; } &
done
wait
passed=$(find "$work" -maxdepth 1 -name '*.ok' | wc -l)
failed=$(grep -c . < <(ls -d "$work"/fuzz_*/ 2>/dev/null) || true)
failed=$((failed - passed))
echo "fuzz targets: $passed clean, $failed failing"
[ "$failed" -eq 0 ]
