#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs the Debian packages listed in scripts/packages/<group>.txt for the
# given groups (default: build), running apt-get only when something is
# missing.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
groups=("$@")
[ ${#groups[@]} -gt 0 ] || groups=(build)

wanted=()
for group in "${groups[@]}"; do
  list="$here/packages/$group.txt"
  [ -f "$list" ] || { echo "install-deps: no package list $list" >&2; exit 2; }
  while read -r pkg _; do
    case "$pkg" in ''|'#'*) continue ;; esac
    wanted+=("$pkg")
  done < "$list"
done

missing=()
for pkg in "${wanted[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)
  [ "$status" = "install ok installed" ] || missing+=("$pkg")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "install-deps: installing ${missing[*]}" >&2
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
for preset in "$here"/packages/*.debconf; do
  if [ -f "$preset" ]; then "${sudo_cmd[@]}" debconf-set-selections "$preset"; fi
done
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
