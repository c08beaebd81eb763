#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs a command (a test) in a session of its own with a Secret Service:
# a private session bus, and GNOME Keyring's secrets component with a login
# keyring unlocked by a fixed test password, kept in a temporary home. The
# bus, and with it the keyring, ends with the command.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
export LSAN_OPTIONS=${LSAN_OPTIONS:+$LSAN_OPTIONS:}suppressions=$here/keyring-leaks.supp
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
export HOME=$home XDG_DATA_HOME=$home/data XDG_CONFIG_HOME=$home/config XDG_RUNTIME_DIR=$home/run
mkdir -m 700 "$XDG_RUNTIME_DIR"
unset DISPLAY WAYLAND_DISPLAY
# shellcheck disable=SC2016
exec dbus-run-session -- bash -c '
  echo -n tessaly-test | gnome-keyring-daemon --unlock --components=secrets >/dev/null
  # Wait (bounded) for the keyring to own its name on the bus.
  for _ in $(seq 100); do
    dbus-send --session --print-reply --dest=org.freedesktop.DBus / org.freedesktop.DBus.NameHasOwner \
      string:org.freedesktop.secrets 2>/dev/null | grep -q "boolean true" && break
    sleep 0.1
  done
  "$@"' with-keyring "$@"
