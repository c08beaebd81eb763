#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the Debian package of Tessaly from this tree:
#
#   scripts/package.sh            -> build-package/package/tessaly_VERSION_ARCH.deb
#
# A build of its own for /usr, without tests or test hooks, with Debian's
# hardening flags; dpkg-shlibdeps computes the dependencies. Prints the
# package's path as its last line.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${TESSALY_PACKAGE_BUILD_DIR:-$root/build-package}
"$root/scripts/install-deps.sh" build build-mail build-zip traycontrol package >&2

# Debian's flags with every hardening feature, without debugging
# information: the package is stripped.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
cxxflags=$(sed -E 's/(^| )-g( |$)/ /' <<<"$cxxflags")
ldflags=$(dpkg-buildflags --get LDFLAGS)
cmake -S "$root" -B "$build" -G Ninja \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE=-DNDEBUG \
  -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" -DCMAKE_SHARED_LINKER_FLAGS="$ldflags" \
  -DCMAKE_INSTALL_PREFIX=/usr -DCMAKE_INSTALL_SYSCONFDIR=/etc \
  -DTESSALY_BUILD_TESTS=OFF -DTESSALY_TEST_HOOKS=OFF >&2
cmake --build "$build" -- -j"$(nproc)" >&2
rm -rf "$build/package"
(cd "$build" && cpack -G DEB >&2)
ls "$build"/package/tessaly_*.deb
