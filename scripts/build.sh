#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs what the build needs (Debian packages, via apt-get, only when
# missing) and builds Tessaly into build/ (or $TESSALY_BUILD_DIR).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${TESSALY_BUILD_DIR:-$root/build}
# Every list named build*.txt holds packages the build needs.
groups=()
for list in "$root"/scripts/packages/build*.txt "$root"/scripts/packages/traycontrol.txt; do
  [ -f "$list" ] && groups+=("$(basename "$list" .txt)")
done
"$root/scripts/install-deps.sh" "${groups[@]}"
# Test hooks (a shortened minute, a trace) only when the tests ask for them:
# an installed or run program never obeys them. The tests' build also fails
# on any compiler warning (TESSALY_WERROR=ON).
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTESSALY_TEST_HOOKS="${TESSALY_TEST_HOOKS:-OFF}" -DTESSALY_WERROR="${TESSALY_WERROR:-OFF}" \
  -DTESSALY_SANITIZE="${TESSALY_SANITIZE:-OFF}" >/dev/null
cmake --build "$build" -- -j"$(nproc)"
