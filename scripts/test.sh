#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Sets everything up, builds, and runs every test: the whole CTest suite
# (the format and layer checks among them) on a build with AddressSanitizer
# and UndefinedBehaviorSanitizer, clang-tidy, the tests of the threaded code
# under ThreadSanitizer, a short run of every fuzz target, then the Debian
# package (built without sanitizers, checked, installed, tried, removed).
# Exits non-zero when anything fails.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${TESSALY_BUILD_DIR:-$root/build-asan}
threaded=${TESSALY_TSAN_BUILD_DIR:-$root/build-tsan}
# Tests need every package list: the build's and the test tools'.
groups=()
for list in "$root"/scripts/packages/*.txt; do
  groups+=("$(basename "$list" .txt)")
done
"$root/scripts/install-deps.sh" "${groups[@]}"
# Every build here fails on a compiler warning.
export TESSALY_WERROR=ON

log=$(mktemp)
threaded_log=$(mktemp)
reports=$(mktemp -d)
trap 'rm -rf "$log" "$threaded_log" "$reports"' EXIT
status=0

# Sanitizer reports of every process the tests start (the program, its
# command-line companion, the test executables) land in $reports, so that
# a report counts even where a test looks only at a child's output. The
# suppressions are leaks of the system's libraries, never of this code.
export ASAN_OPTIONS="log_path=$reports/asan:detect_leaks=1:detect_stack_use_after_return=1"
export UBSAN_OPTIONS="log_path=$reports/ubsan:print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$root/tests/sanitizers/leaks.supp:print_suppressions=0"
export TSAN_OPTIONS="log_path=$reports/tsan:halt_on_error=1:second_deadlock_stack=1"
# Reports collected since the last call; prints them and fails if any. A
# process that ended while LeakSanitizer could not stop its threads (one
# that changed its credentials) left no finding, only that note.
sanitizer_reports() { # name of the run
  local found=0 report
  for report in "$reports"/*; do
    [ -s "$report" ] || continue
    if ! grep -q 'ERROR: \|runtime error\|WARNING: ThreadSanitizer' "$report"; then
      echo "sanitizers: no leak check in process ${report##*.}: $(grep -m1 'fatal error' "$report" || true)"
    else
      found=1
      echo "---- $(basename "$report")"
      head -n 60 "$report"
    fi
    rm -f "$report"
  done
  if [ "$found" -ne 0 ]; then
    echo "sanitizers: reports in the $1 run"
    return 1
  fi
}
# Processes of other users (the tests run some as nobody) write here too.
chmod 1777 "$reports"

TESSALY_TEST_HOOKS=ON TESSALY_SANITIZE=ON TESSALY_BUILD_DIR="$build" "$root/scripts/build.sh"
# clang-tidy over the product sources, with the checks of .clang-tidy, on
# one processor beside the tests: they spend much of their time waiting on
# servers, desktops and child processes.
tidy_log=$(mktemp)
TESSALY_TIDY_JOBS=1 "$root/scripts/tidy.sh" "$build" >"$tidy_log" 2>&1 &
tidy=$!
ctest --test-dir "$build" --output-on-failure -j2 2>&1 | tee "$log" || status=1
sanitizer_reports "address and undefined" 2>&1 | tee -a "$log" || status=1
wait "$tidy" || status=1
tee -a "$log" <"$tidy_log"
rm -f "$tidy_log"

# The tests of the code that runs threads of its own (label thread), on a
# build of only what they need. The desktop's and the headless program's
# check run hands its results over through Qt's queued calls, whose locks
# ThreadSanitizer cannot see in a Qt built without it: the Qt parts stay out.
cmake -S "$root" -B "$threaded" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSALY_SANITIZE=thread \
  -DTESSALY_WITH_QT=OFF -DTESSALY_TEST_HOOKS=ON -DTESSALY_WERROR=ON >/dev/null
mapfile -t targets < <(ctest --test-dir "$threaded" -L thread -N | sed -n 's/^ *Test *#[0-9]*: //p')
if cmake --build "$threaded" --target "${targets[@]}" -- -j"$(nproc)" >/dev/null; then
  ctest --test-dir "$threaded" --output-on-failure -j2 -L thread 2>&1 | tee "$threaded_log" || status=1
  sanitizer_reports thread 2>&1 | tee -a "$log" || status=1
else
  echo "thread sanitizer build failed" | tee "$threaded_log"
  status=1
fi
unset ASAN_OPTIONS UBSAN_OPTIONS LSAN_OPTIONS TSAN_OPTIONS

"$root/scripts/fuzz.sh" --seconds "${TESSALY_FUZZ_SECONDS:-15}" 2>&1 | tee -a "$log" || status=1

# The Debian package: built, checked, installed, tried and removed again
# (needs root, as CI has; skipped with a note otherwise).
if [ "$(id -u)" -eq 0 ]; then
  "$root/tests/package/test-installed.sh" 2>&1 | tee -a "$log" || status=1
else
  echo "package: skipped (installing the package needs root)" | tee -a "$log"
fi

# One closing line over everything: both CTest runs, the sanitizer reports,
# clang-tidy, the fuzz targets and the package.
passed=0
failed=0
for run in "$log" "$threaded_log"; do
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
failed=$((failed + $(grep -c -E '^fuzz: .* FAILED|^tidy: FAILED|^package: FAILED|^sanitizers: reports' "$log" || true)))
echo "all: $passed passed, $failed failed"
exit $status
