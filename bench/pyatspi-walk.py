#!/usr/bin/python3
"""Walks an application's accessibility tree with pyatspi under the driver's bounds and prints
the time the walk took, in milliseconds, on one line.

    pyatspi-walk.py PID

The bounds and reads are the driver's: depth 16, the first 80 children of a node, 180 nodes in
all; for each node its role, name, description, states (focus, checked, selected), its text or
current value where its role has one, its extents on screen, and its children, leaving out as
the driver does the children that are neither visible nor showing and the contents of closed
menus (visible, not showing). The time counts
the lookup of the application and the walk, not the start of Python or the import of pyatspi.
"""
import sys
import time

import pyatspi

DEPTH_LIMIT = 16
CHILDREN_PER_NODE = 80
NODE_BUDGET = 180

TEXT_ROLES = {
    pyatspi.ROLE_LABEL, pyatspi.ROLE_STATIC, pyatspi.ROLE_ACCELERATOR_LABEL, pyatspi.ROLE_CAPTION,
    pyatspi.ROLE_ENTRY, pyatspi.ROLE_PASSWORD_TEXT, pyatspi.ROLE_SPIN_BUTTON, pyatspi.ROLE_TEXT,
    pyatspi.ROLE_PARAGRAPH, pyatspi.ROLE_TERMINAL, pyatspi.ROLE_DOCUMENT_TEXT,
    pyatspi.ROLE_LIST_ITEM, pyatspi.ROLE_ALERT, pyatspi.ROLE_NOTIFICATION, pyatspi.ROLE_SECTION,
}
NUMBER_ROLES = {
    pyatspi.ROLE_SLIDER, pyatspi.ROLE_DIAL, pyatspi.ROLE_SCROLL_BAR, pyatspi.ROLE_PROGRESS_BAR,
    pyatspi.ROLE_LEVEL_BAR,
}


def summary(node):
    record = {}
    try:
        role = node.getRole()
        record["role"] = int(role)
    except Exception:
        role = None
    for key, read in (("name", lambda: node.name), ("description", lambda: node.description)):
        try:
            record[key] = read()
        except Exception:
            pass
    try:
        states = node.getState()
        record["focused"] = states.contains(pyatspi.STATE_FOCUSED)
        record["checked"] = states.contains(pyatspi.STATE_CHECKED)
        record["selected"] = states.contains(pyatspi.STATE_SELECTED)
    except Exception:
        pass
    try:
        if role in TEXT_ROLES:
            record["value"] = node.queryText().getText(0, -1)
        elif role in NUMBER_ROLES:
            record["value"] = node.queryValue().currentValue
    except Exception:
        pass
    try:
        extents = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        record["extents"] = (extents.x, extents.y, extents.width, extents.height)
    except Exception:
        pass
    return record


def shown(child, in_menu):
    try:
        states = child.getState()
    except Exception:
        return True
    if states.contains(pyatspi.STATE_SHOWING):
        return True
    return not in_menu and states.contains(pyatspi.STATE_VISIBLE)


def walk(node, depth, budget):
    if budget[0] <= 0:
        return {"truncated": True}
    budget[0] -= 1
    record = summary(node)
    try:
        count = node.childCount
    except Exception:
        count = 0
    if depth >= DEPTH_LIMIT:
        if count > 0:
            record["truncated"] = True
        return record
    in_menu = record.get("role") == int(pyatspi.ROLE_MENU)
    listed = []
    for index in range(count):
        try:
            child = node.getChildAtIndex(index)
        except Exception:
            child = None
        if child is not None and shown(child, in_menu):
            listed.append(child)
    children = []
    for child in listed[:CHILDREN_PER_NODE]:
        if budget[0] <= 0:
            record["truncated"] = True
            break
        children.append(walk(child, depth + 1, budget))
    if len(listed) > CHILDREN_PER_NODE:
        record["truncated"] = True
    if children:
        record["children"] = children
    return record


def main():
    pid = int(sys.argv[1])
    start = time.perf_counter()
    application = None
    for candidate in pyatspi.Registry.getDesktop(0):
        try:
            if candidate is not None and candidate.get_process_id() == pid:
                application = candidate
                break
        except Exception:
            pass
    if application is None:
        sys.exit("no accessible application with pid %d" % pid)
    budget = [NODE_BUDGET]
    walk(application, 0, budget)
    elapsed = (time.perf_counter() - start) * 1000
    print("%.1f %d" % (elapsed, NODE_BUDGET - budget[0]))


main()
