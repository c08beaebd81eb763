#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Fails when an include crosses a layer the wrong way. The program's layers,
# lowest first; a folder may include its own headers and those of lower
# layers, never those of its own level or above:
#   0 common   1 settings   2 watch, notify   3 checkrun
#   4 cli, resident   5 windows   6 program (the executable)
# The components and the tray control are deliverables of their own: they
# include nothing of the program but common; the program includes of the
# tray control only its public front, traycontrol/TrayIcon.h. The link probes hold the
# symbols to the same order (cmake/TessalyLayers.cmake); this script holds the
# includes, which the linker cannot see.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

declare -A rank=([common]=0 [settings]=1 [watch]=2 [notify]=2 [checkrun]=3 [cli]=4 [resident]=4
                 [windows]=5 [program]=6 [components]=-1 [traycontrol]=-1)

failures=0
check() { # file, its layer
  local file=$1 layer=$2 line target
  while IFS= read -r line; do
    [[ $line =~ [\"\<]([a-z]+)/([^\">]*) ]] || continue
    target=${BASH_REMATCH[1]}
    [ -n "${rank[$target]+set}" ] || continue
    [ "$target" = "$layer" ] && continue
    if [ "${rank[$layer]}" -lt 0 ]; then
      [ "$target" = common ] && continue
    elif [ "$target" = traycontrol ]; then
      [ "${BASH_REMATCH[2]}" = TrayIcon.h ] && continue
      target="the tray control's internals (only traycontrol/TrayIcon.h is public)"
    elif [ "${rank[$target]}" -lt "${rank[$layer]}" ]; then
      continue
    fi
    echo "layers: ${file#$root/} ($layer) includes $target: ${line}"
    failures=$((failures + 1))
  done < <(grep -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*["<][a-z]+/' "$file" || true)
}

for folder in "$root"/app/*/; do
  layer=$(basename "$folder")
  [ -n "${rank[$layer]+set}" ] || { echo "layers: app/$layer is in no layer"; failures=$((failures + 1)); continue; }
  while IFS= read -r file; do check "$file" "$layer"; done < <(find "$folder" -name '*.cpp' -o -name '*.h')
done
for deliverable in components traycontrol; do
  while IFS= read -r file; do check "$file" "$deliverable"; done < <(find "$root/$deliverable" -name '*.cpp' -o -name '*.h')
done

if [ "$failures" -gt 0 ]; then
  echo "layers: $failures include(s) against the layer order"
  exit 1
fi
echo "layers: every include follows the layer order"
