#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Sets everything up, builds, and runs every test: the CTest suites, then a
# short run of every fuzz target. Exits non-zero when anything fails.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${TESSALY_BUILD_DIR:-$root/build}
# Tests need every package list: the build's and the test tools'.
groups=()
for list in "$root"/scripts/packages/*.txt; do
  groups+=("$(basename "$list" .txt)")
done
"$root/scripts/install-deps.sh" "${groups[@]}"
TESSALY_TEST_HOOKS=ON "$root/scripts/build.sh"

log=$(mktemp)
trap 'rm -f "$log"' EXIT
status=0
ctest --test-dir "$build" --output-on-failure -j2 2>&1 | tee "$log" || status=1
"$root/scripts/fuzz.sh" --seconds "${TESSALY_FUZZ_SECONDS:-15}" 2>&1 | tee -a "$log" || status=1

# One closing line over both: CTest's count and the fuzz targets'.
summary=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1 || true)
total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$summary")
failed=$(sed -E 's/.*passed, ([0-9]+) tests? failed.*/\1/' <<<"$summary")
fuzz_ok=$(grep -c '^fuzz: .* ok ' "$log" || true)
fuzz_failed=$(grep -c '^fuzz: .* FAILED' "$log" || true)
if [ -z "$summary" ]; then
  status=1
  total=0
  failed=1
fi
echo "all: $((total - failed + fuzz_ok)) passed, $((failed + fuzz_failed)) failed"
exit $status
