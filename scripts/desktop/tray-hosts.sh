#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Sourced by the desktop tests inside their D-Bus session: a real
# StatusNotifierItem host that draws the items' D-Bus menus itself, the
# Xfce panel with its status tray, under the openbox window manager.
#
#   start_panel_host WORK_DIR
#     Starts openbox and a panel along the top of the screen holding only
#     the status tray; appends their process ids to `pids`. Fails when the
#     panel's watcher and host are not on the bus in time.
#   start_xembed_tray WORK_DIR
#     Starts trayer, an XEmbed tray, 120 by 32 pixels at the top right;
#     appends its process id to `pids`. Fails, with trayer's own words on
#     standard error, when its panel is not mapped in time.
#   registered_item
#     Prints the bus name of the first item the panel's watcher holds,
#     waiting for one to register.
#   open_panel_menu
#     Right-clicks the first icon of the tray and waits for the menu the
#     panel draws. Fails when none appears.

# The tray's first icon: the panel is 32 pixels high from the top left
# corner and the tray is its only part.
panel_icon_x=16 panel_icon_y=16

start_xembed_tray() {
  local work=$1
  trayer --edge top --align right --widthtype pixel --width 120 --heighttype pixel --height 32 \
    --transparent false --tint 0x303030 --SetDockType true >"$work/trayer.log" 2>&1 &
  pids+=($!)
  for _ in $(seq 200); do
    xdotool search --classname trayer >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  cat "$work/trayer.log" >&2
  return 1
}

start_panel_host() {
  local work=$1 config="${XDG_CONFIG_HOME:?}/xfce4/xfconf/xfce-perchannel-xml"
  mkdir -p "$config"
  cat >"$config/xfce4-panel.xml" <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<channel name="xfce4-panel" version="1.0">
  <property name="configver" type="int" value="2"/>
  <property name="panels" type="array">
    <value type="int" value="1"/>
    <property name="panel-1" type="empty">
      <property name="position" type="string" value="p=6;x=0;y=0"/>
      <property name="length" type="uint" value="100"/>
      <property name="position-locked" type="bool" value="true"/>
      <property name="size" type="uint" value="32"/>
      <property name="plugin-ids" type="array">
        <value type="int" value="1"/>
      </property>
    </property>
  </property>
  <property name="plugins" type="empty">
    <property name="plugin-1" type="string" value="systray"/>
  </property>
</channel>
XML
  # The panel's settings service is started by the bus, with the bus's
  # environment: it must look in the test's configuration folder.
  dbus-update-activation-environment XDG_CONFIG_HOME DISPLAY
  openbox >"$work/openbox.log" 2>&1 &
  pids+=($!)
  for _ in $(seq 100); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
    sleep 0.1
  done
  xfce4-panel >"$work/host.log" 2>&1 &
  panel_pid=$!
  pids+=("$panel_pid")
  for _ in $(seq 200); do
    dbus-send --session --print-reply --dest=org.kde.StatusNotifierWatcher /StatusNotifierWatcher \
      org.freedesktop.DBus.Properties.Get string:org.kde.StatusNotifierWatcher \
      string:IsStatusNotifierHostRegistered 2>/dev/null | grep -q 'boolean true' && return 0
    sleep 0.1
  done
  return 1
}

registered_item() {
  local items
  for _ in $(seq 200); do
    items=$(dbus-send --session --print-reply --dest=org.kde.StatusNotifierWatcher /StatusNotifierWatcher \
      org.freedesktop.DBus.Properties.Get string:org.kde.StatusNotifierWatcher \
      string:RegisteredStatusNotifierItems 2>/dev/null | grep -o 'string "[^"]*"' | head -n1 || true)
    if [ -n "$items" ]; then
      items=${items#string \"}
      echo "${items%%[/\"]*}"
      return 0
    fi
    sleep 0.1
  done
  return 1
}

# The panel's windows on screen: its bar, and the tray (which runs in a
# process of its own) with any menu it shows.
panel_windows() {
  local pid
  for pid in "$panel_pid" $(ps -o pid= --ppid "$panel_pid" 2>/dev/null); do
    xdotool search --onlyvisible --pid "$pid" 2>/dev/null || true
  done | wc -l
}

open_panel_menu() {
  local before
  before=$(panel_windows)
  for _ in $(seq 20); do
    xdotool mousemove "$panel_icon_x" "$panel_icon_y" click 3
    for _ in $(seq 20); do
      [ "$(panel_windows)" -gt "$before" ] && { sleep 0.3; return 0; }
      sleep 0.1
    done
  done
  return 1
}
