#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Sets everything up, builds, and starts Tessaly on the default data folder:
# in the notification area of the desktop, or headless when there is no
# display. Arguments are passed on (--headless, --dir DIR).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${TESSALY_BUILD_DIR:-$root/build}
"$root/scripts/build.sh" >&2
exec "$build/bin/tessaly" "$@"
