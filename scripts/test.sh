#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Sets everything up, builds, and runs every test: the CTest suites, then a
# short run of every fuzz target. Exits non-zero when anything fails.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${TESSALY_BUILD_DIR:-$root/build}
"$root/scripts/install-deps.sh" test
"$root/scripts/build.sh"
status=0
ctest --test-dir "$build" --output-on-failure -j2 || status=1
"$root/scripts/fuzz.sh" --seconds "${TESSALY_FUZZ_SECONDS:-15}" || status=1
exit $status
