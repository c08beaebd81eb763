#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs clang-tidy with the checks of .clang-tidy over every product source
# (the program, the components, the tray control) of an existing build's
# compile_commands.json; any finding fails. Usage: tidy.sh [BUILD_DIR]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-${TESSALY_BUILD_DIR:-$root/build}}
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if run-clang-tidy -p "$build" -j"${TESSALY_TIDY_JOBS:-$(nproc)}" -quiet -extra-arg=-Wno-unknown-warning-option "$root/(app|components|traycontrol)/.*\.cpp$" >"$log" 2>&1; then
  echo "tidy: clean"
  exit 0
fi
grep -E "(warning|error):" "$log" | sed 's/\x1b\[[0-9;]*m//g' | sort -u || tail -n 20 "$log"
echo "tidy: FAILED"
exit 1
