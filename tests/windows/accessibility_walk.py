#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
# Walks tessaly's windows over AT-SPI, as a screen reader would.
#
#   accessibility_walk.py FRAME_TITLE
#
# Finds the main window FRAME_TITLE of the running tessaly, opens each child
# window with its menu command's accessible action, and checks in each:
# every shown control a user works (button, check box, radio button, text
# box, list, table, menu item, combo box) has a non-empty accessible name,
# and Tab typed with xdotool goes from control to control through every
# focusable one once and back to the first (one stop for a group of radio
# buttons). Every wait is bounded. Exits 1 with the faults listed.
import subprocess
import sys
import time

import pyatspi

CONTROLS = {
    pyatspi.ROLE_PUSH_BUTTON, pyatspi.ROLE_TOGGLE_BUTTON, pyatspi.ROLE_CHECK_BOX, pyatspi.ROLE_RADIO_BUTTON,
    pyatspi.ROLE_TEXT, pyatspi.ROLE_PASSWORD_TEXT, pyatspi.ROLE_ENTRY, pyatspi.ROLE_LIST, pyatspi.ROLE_LIST_BOX,
    pyatspi.ROLE_TABLE, pyatspi.ROLE_MENU_ITEM, pyatspi.ROLE_CHECK_MENU_ITEM, pyatspi.ROLE_RADIO_MENU_ITEM,
    pyatspi.ROLE_COMBO_BOX, pyatspi.ROLE_SPIN_BUTTON,
}
# Roles whose children are rows and cells, not controls.
CONTAINERS_OF_ITEMS = {pyatspi.ROLE_TABLE, pyatspi.ROLE_LIST, pyatspi.ROLE_LIST_BOX, pyatspi.ROLE_TREE_TABLE}
WINDOWS = [  # menu command (start of its accessible name), window title
    (["ﾘｽﾄ"], "履歴ﾘｽﾄ"),
    (["設定", "購読設定"], "購読設定"),
    (["設定", "基本設定"], "基本設定"),
    (["ﾍﾙﾌﾟ", "Tessalyについて"], "Tessalyのﾊﾞｰｼﾞｮﾝ情報"),
]
faults = []


def wait_for(what, probe, seconds=20):
    """probe()'s first true result, polled for at most `seconds`."""
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        try:
            found = probe()
        except Exception:  # an object that went away meanwhile
            found = None
        if found:
            return found
        time.sleep(0.1)
    raise SystemExit(f"FAIL: {what}")


def walk(node, depth=0):
    """`node` and what is below it, leaving out rows and cells."""
    yield node
    if depth > 30 or node.getRole() in CONTAINERS_OF_ITEMS:
        return
    for index in range(node.childCount):
        child = node.getChildAtIndex(index)
        if child is not None:
            yield from walk(child, depth + 1)


def shown(node):
    return node.getState().contains(pyatspi.STATE_SHOWING)


def describe(node):
    return f"{node.getRoleName()} '{node.name}'"


def application():
    desktop = pyatspi.Registry.getDesktop(0)
    for index in range(desktop.childCount):
        app = desktop.getChildAtIndex(index)
        if app is not None and "tessaly" in (app.name or "").lower():
            return app
    return None


def frame_named(app, title):
    for index in range(app.childCount):
        child = app.getChildAtIndex(index)
        if child is not None and child.name == title:
            return child
    return None


def menu_item(frame, path):
    """The menu bar's item, or the item of its menu, whose name starts with
    each part of `path` in turn."""
    node = next((n for n in walk(frame) if n.getRole() == pyatspi.ROLE_MENU_BAR), None)
    for part in path:
        items = [n for n in walk(node) if n is not node and n.getRole() in (pyatspi.ROLE_MENU_ITEM, pyatspi.ROLE_MENU)]
        node = next((n for n in items if (n.name or "").startswith(part)), None)
        if node is None:
            return None
    return node


def child_window(frame, title):
    return next((n for n in walk(frame) if n.name == title and n.getRole() != pyatspi.ROLE_MENU_ITEM
                 and n.childCount > 0), None)


def focused(window):
    return next((n for n in walk(window) if n.getState().contains(pyatspi.STATE_FOCUSED)
                 and n.getRole() in CONTROLS), None)


def key(name):
    subprocess.run(["xdotool", "key", name], check=True)


def check_names(title, window):
    for node in walk(window):
        if node.getRole() in CONTROLS and shown(node) and not (node.name or "").strip():
            faults.append(f"{title}: {node.getRoleName()} without a name "
                          f"(in {describe(node.parent) if node.parent else '?'})")


def check_tab_cycle(title, window):
    stops = [n for n in walk(window) if n.getRole() in CONTROLS - {pyatspi.ROLE_MENU_ITEM} and shown(n)
             and n.getState().contains(pyatspi.STATE_FOCUSABLE) and n.getState().contains(pyatspi.STATE_ENABLED)]
    first = wait_for(f"{title}: no control has the focus", lambda: focused(window))
    visited = [first]
    for _ in range(len(stops) + 1):
        before = visited[-1]
        key("Tab")
        now = wait_for(f"{title}: Tab from {describe(before)} moved the focus nowhere",
                       lambda: (lambda f: f if f is not None and f != before else None)(focused(window)), 5)
        if now == first:
            break
        if now in visited:
            faults.append(f"{title}: Tab comes to {describe(now)} twice")
            return
        visited.append(now)
    else:
        faults.append(f"{title}: Tab did not come back to {describe(first)}")
        return
    radios = [n for n in visited if n.getRole() == pyatspi.ROLE_RADIO_BUTTON]
    for stop in stops:
        in_group = stop.getRole() == pyatspi.ROLE_RADIO_BUTTON and any(r.parent == stop.parent for r in radios)
        if stop not in visited and not in_group:
            faults.append(f"{title}: Tab never reaches {describe(stop)}")
    print(f"{title}: Tab goes round {len(visited)} controls: " + ", ".join(describe(n) for n in visited))


def main():
    frame_title = sys.argv[1]
    app = wait_for("tessaly is not on the accessibility bus", application)
    frame = wait_for(f"no accessible window '{frame_title}'", lambda: frame_named(app, frame_title))
    check_names(frame_title, frame)
    for path, title in WINDOWS:
        item = wait_for(f"no menu command {'/'.join(path)}", lambda: menu_item(frame, path))
        item.queryAction().doAction(0)
        window = wait_for(f"{'/'.join(path)} did not open {title}", lambda: child_window(frame, title))
        check_names(title, window)
        check_tab_cycle(title, window)
    for fault in faults:
        print("FAULT:", fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
