#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Sets everything up, builds, and runs every test: the CTest suites (the
# format and layer checks among them), clang-tidy, the unit and mail tests
# again under the sanitizers, a short run of every fuzz target, then the
# Debian package (built, checked, installed, tried, removed). Exits non-zero
# when anything fails.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${TESSALY_BUILD_DIR:-$root/build}
# Tests need every package list: the build's and the test tools'.
groups=()
for list in "$root"/scripts/packages/*.txt; do
  groups+=("$(basename "$list" .txt)")
done
"$root/scripts/install-deps.sh" "${groups[@]}"
# Every build here fails on a compiler warning.
export TESSALY_WERROR=ON
TESSALY_TEST_HOOKS=ON "$root/scripts/build.sh"

log=$(mktemp)
sanitized_log=$(mktemp)
trap 'rm -f "$log" "$sanitized_log"' EXIT
status=0
ctest --test-dir "$build" --output-on-failure -j2 2>&1 | tee "$log" || status=1

# clang-tidy over the product sources, with the checks of .clang-tidy.
"$root/scripts/tidy.sh" "$build" 2>&1 | tee -a "$log" || status=1

# The unit and mail tests once more under AddressSanitizer and
# UndefinedBehaviorSanitizer (without the Qt parts, which they do not need).
sanitized=${TESSALY_SANITIZE_BUILD_DIR:-$root/build-sanitize}
cmake -S "$root" -B "$sanitized" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSALY_SANITIZE=ON \
  -DTESSALY_WITH_QT=OFF -DTESSALY_WERROR=ON >/dev/null
if cmake --build "$sanitized" -- -j"$(nproc)" >/dev/null; then
  ctest --test-dir "$sanitized" --output-on-failure -j2 -L 'unit|mail' 2>&1 | tee "$sanitized_log" || status=1
else
  echo "sanitizer build failed" | tee "$sanitized_log"
  status=1
fi

"$root/scripts/fuzz.sh" --seconds "${TESSALY_FUZZ_SECONDS:-15}" 2>&1 | tee -a "$log" || status=1

# The Debian package: built, checked, installed, tried and removed again
# (needs root, as CI has; skipped with a note otherwise).
if [ "$(id -u)" -eq 0 ]; then
  "$root/tests/package/test-installed.sh" 2>&1 | tee -a "$log" || status=1
else
  echo "package: skipped (installing the package needs root)" | tee -a "$log"
fi

# One closing line over everything: both CTest runs, clang-tidy, the fuzz
# targets and the package.
passed=0
failed=0
for run in "$log" "$sanitized_log"; do
  summary=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$run" | tail -n 1 || true)
  if [ -z "$summary" ]; then
    status=1
    failed=$((failed + 1))
    continue
  fi
  total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$summary")
  run_failed=$(sed -E 's/.*passed, ([0-9]+) tests? failed.*/\1/' <<<"$summary")
  passed=$((passed + total - run_failed))
  failed=$((failed + run_failed))
done
passed=$((passed + $(grep -c -E '^fuzz: .* ok |^tidy: clean|^package: ok' "$log" || true)))
failed=$((failed + $(grep -c -E '^fuzz: .* FAILED|^tidy: FAILED|^package: FAILED' "$log" || true)))
echo "all: $passed passed, $failed failed"
exit $status
