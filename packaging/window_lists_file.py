#!/usr/bin/python3
"""Starts PROGRAM with DOCUMENT on its command line and waits until its window lists DOCUMENT,
as a screen reader sees the window: over the accessibility bus (AT-SPI), the list item whose
name is the document's path. Then every control of the window (button, box, picker, table) must
have a name of its own, so a screen reader tells them apart. Nothing inside the program is asked.

usage: window_lists_file.py PROGRAM DOCUMENT [SECONDS]

Run it in a session with a display and a D-Bus session bus (xvfb-run, dbus-run-session) and
at-spi2-core installed. Exit status 0 when the window listed the document in time, 1 otherwise,
with what the program's window did show.
"""
import os
import subprocess
import sys
import time

import pyatspi

ITEM_ROLES = {pyatspi.ROLE_TABLE_CELL, pyatspi.ROLE_LIST_ITEM}
CONTROL_ROLES = {pyatspi.ROLE_PUSH_BUTTON, pyatspi.ROLE_CHECK_BOX, pyatspi.ROLE_SPIN_BUTTON,
                 pyatspi.ROLE_DATE_EDITOR, pyatspi.ROLE_TABLE, pyatspi.ROLE_TREE_TABLE}
# What makes up another control (a table's header buttons, a picker's arrows) is named by it.
PART_ROLES = {pyatspi.ROLE_TABLE, pyatspi.ROLE_TREE_TABLE, pyatspi.ROLE_SPIN_BUTTON,
              pyatspi.ROLE_DATE_EDITOR, pyatspi.ROLE_PAGE_TAB_LIST, pyatspi.ROLE_MENU_BAR}


def application_of(pid):
    desktop = pyatspi.Registry.getDesktop(0)
    for index in range(desktop.childCount):
        app = desktop.getChildAtIndex(index)
        if app is not None and app.get_process_id() == pid:
            return app
    return None


def item_names(node, depth=0):
    """The names of the list and table items under `node`."""
    if node is None or depth > 40:
        return
    if node.getRole() in ITEM_ROLES and node.name:
        yield node.name
    for index in range(node.childCount):
        yield from item_names(node.getChildAtIndex(index), depth + 1)


def control_names(node, depth=0):
    """(role, name) of each control under `node`, not looking into controls."""
    if node is None or depth > 40:
        return
    role = node.getRole()
    if role in CONTROL_ROLES:
        yield node.getRoleName(), node.name
    if role in PART_ROLES:
        return
    for index in range(node.childCount):
        yield from control_names(node.getChildAtIndex(index), depth + 1)


def naming_faults(app):
    names = list(control_names(app))
    faults = [f"a {role} without a name" for role, name in names if not name]
    seen = [name for _, name in names if name]
    faults += [f"two controls named {name!r}" for name in sorted(set(seen)) if seen.count(name) > 1]
    return faults


def wait_for_item(program, document, seconds):
    environment = dict(os.environ, QT_ACCESSIBILITY="1", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
    # On the display, as a user starts it.
    environment.pop("QT_QPA_PLATFORM", None)
    process = subprocess.Popen([program, document], env=environment)
    deadline = time.monotonic() + seconds
    app, shown = None, []
    try:
        while time.monotonic() < deadline:
            if process.poll() is not None:
                return f"{program} ended with status {process.returncode} before listing {document}"
            app = application_of(process.pid)
            if app is not None:
                shown = list(item_names(app))
                if document in shown:
                    faults = naming_faults(app)
                    return "; ".join(faults) if faults else None
            time.sleep(1)
        if app is None:
            return f"{program} did not appear on the accessibility bus within {seconds} s"
        return f"{program} did not list {document} within {seconds} s; its lists showed: {shown}"
    finally:
        process.terminate()
        try:
            process.wait(10)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


def main():
    if len(sys.argv) not in (3, 4):
        sys.exit(__doc__)
    program, document = sys.argv[1], sys.argv[2]
    seconds = int(sys.argv[3]) if len(sys.argv) == 4 else 60
    failure = wait_for_item(program, document, seconds)
    if failure:
        print(f"window_lists_file: {failure}", file=sys.stderr)
        return 1
    print(f"the window of {program} lists {document}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
