#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Sets everything up, builds, and runs Tessaly's command-line companion on
# the default data folder (arguments are passed on; default: settings show).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${TESSALY_BUILD_DIR:-$root/build}
"$root/scripts/build.sh" >&2
[ $# -gt 0 ] || set -- settings show
exec "$build/bin/tessalyctl" "$@"
