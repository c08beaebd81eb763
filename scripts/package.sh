#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the Debian source and binary packages of Tessaly from this tree,
# with debian/ (dpkg-buildpackage), in a clean copy of the tree:
#
#   scripts/package.sh    -> build-package/package/tessaly_VERSION_ARCH.deb
#                            (with the .dsc, the source tarball and .changes)
#
# Prints the binary package's path as its last line.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${TESSALY_PACKAGE_BUILD_DIR:-$root/build-package}
"$root/scripts/install-deps.sh" build build-mail build-zip traycontrol package >&2

# The source package is the tree as it is kept: tracked files and new ones
# not ignored, never the build folders of a developer's tree.
version=$(dpkg-parsechangelog -l "$root/debian/changelog" -S Version)
source_dir="$build/tessaly-$version"
rm -rf "$build"
mkdir -p "$source_dir" "$build/package"
if git -C "$root" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  (cd "$root" && git ls-files -z --cached --others --exclude-standard |
    xargs -0 -r sh -c 'for f; do [ -e "$f" ] && printf "%s\0" "$f"; done' files) |
    tar -C "$root" --null -T - -cf - | tar -C "$source_dir" -xf -
else
  tar -C "$root" --exclude='./build*' --exclude=./.git -cf - . | tar -C "$source_dir" -xf -
fi

(cd "$source_dir" && DEB_BUILD_OPTIONS="parallel=$(nproc) ${DEB_BUILD_OPTIONS:-}" \
  dpkg-buildpackage -us -uc --build=source,binary >&2)
mv "$build"/tessaly_"$version"* "$build"/tessaly-dbgsym_"$version"* "$build/package/" 2>/dev/null || true
ls "$build"/package/tessaly_"$version"_*.deb
