"""Reads back what the shell shows, as assistive technology and the clipboard
see it: its widgets' names and states through the accessibility tree, and a
page's text through a copy. Both readers run in the system's Python, which
has the GObject bindings for AT-SPI and GTK."""

import json
import os
import subprocess

from browser_support import keys
from harness import wait_for

SYSTEM_PYTHON = "/usr/bin/python3"

# Walks the shell's own widgets in the accessibility tree. The page's content
# lives in the web process, which does not answer while a script of the page
# waits on one of the shell's dialogs: a node that does not answer within a
# second is passed over. The tree is live: a node that goes while it is walked
# (a file chooser refilling its list, say) is passed over too.
_TREE = r"""
import json, sys, gi
gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, GLib

Atspi.set_timeout(1000, 15000)

def shell_nodes(pid):
    def walk(node, depth):
        if node is None or depth > 40:
            return
        try:
            role = node.get_role_name()
        except GLib.Error:
            return
        yield node, role
        if role in ("document web", "document frame"):
            return
        try:
            children = [node.get_child_at_index(i) for i in range(node.get_child_count())]
        except GLib.Error:
            return
        for child in children:
            yield from walk(child, depth + 1)

    desktop = Atspi.get_desktop(0)
    for i in range(desktop.get_child_count()):
        app = desktop.get_child_at_index(i)
        if app is not None and app.get_process_id() == pid:
            yield from walk(app, 0)
"""

_WIDGETS = _TREE + r"""
found = []
for node, role in shell_nodes(int(sys.argv[1])):
    try:
        states = node.get_state_set()
        name = node.get_name()
    except GLib.Error:
        continue  # gone meanwhile
    text = None
    try:
        if node.get_text_iface() is not None:
            text = Atspi.Text.get_text(node, 0, -1)
    except Exception:
        text = None
    found.append({"role": role, "name": name, "text": text,
                  "showing": states.contains(Atspi.StateType.SHOWING),
                  "sensitive": states.contains(Atspi.StateType.SENSITIVE)})
json.dump(found, sys.stdout)
"""

_PRESS = _TREE + r"""
pid, role, name = int(sys.argv[1]), sys.argv[2], sys.argv[3]
for node, node_role in shell_nodes(pid):
    try:
        if (node_role == role and node.get_name() == name
                and node.get_state_set().contains(Atspi.StateType.SHOWING)):
            sys.exit(0 if Atspi.Action.do_action(node, 0) else 1)
    except GLib.Error:
        pass  # gone meanwhile
sys.exit(2)
"""

_SET_TEXT = _TREE + r"""
pid, role, current, wanted = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4]
for node, node_role in shell_nodes(pid):
    try:
        if (node_role == role and node.get_state_set().contains(Atspi.StateType.SHOWING)
                and node.get_editable_text_iface() is not None
                and Atspi.Text.get_text(node, 0, -1) == current):
            sys.exit(0 if Atspi.EditableText.set_text_contents(node, wanted) else 1)
    except GLib.Error:
        pass  # gone meanwhile
sys.exit(2)
"""

_CLIPBOARD = r"""
import sys, gi
gi.require_version("Gtk", "3.0")
from gi.repository import Gtk, Gdk
sys.stdout.write(Gtk.Clipboard.get(Gdk.SELECTION_CLIPBOARD).wait_for_text() or "")
"""


def accessible_widgets(shell):
    """Every accessible object of the shell's own widgets: role, name, text,
    and whether it is showing and sensitive."""
    out = subprocess.run([SYSTEM_PYTHON, "-c", _WIDGETS, str(shell.process.pid)],
                         capture_output=True, text=True, timeout=60)
    return json.loads(out.stdout or "[]")


def accessible(shell, what, **match):
    """Waits for the shell's accessible object whose fields hold match."""
    def find():
        for widget in accessible_widgets(shell):
            if all(widget.get(key) == value for key, value in match.items()):
                return widget
        return None
    return wait_for(find, 30, interval=0.3, what=what)


def _act_once_there(script, what, *arguments):
    """Runs an acting script until it finds its object (a dialog may still be
    building its widgets) and acts; an object found that refuses fails at once."""
    def act():
        result = subprocess.run([SYSTEM_PYTHON, "-c", script, *arguments],
                                capture_output=True, text=True, timeout=60)
        assert result.returncode in (0, 2), f"{what} refused: {result.stderr}"
        return result.returncode == 0
    wait_for(act, 30, interval=0.3, what=what)


def press(shell, name, role="push button"):
    """Presses the shell's showing button of that name as assistive technology
    does, through its first action: for a window system the tests cannot type
    or click into."""
    _act_once_there(_PRESS, f"a {role} {name} to press", str(shell.process.pid), role, name)


def replace_text(shell, current, wanted, role="text"):
    """Replaces the text of the shell's showing field that holds current with
    wanted, as assistive technology does."""
    _act_once_there(_SET_TEXT, f"a {role} holding {current!r} to edit",
                    str(shell.process.pid), role, current, wanted)


def clipboard_text():
    return subprocess.run([SYSTEM_PYTHON, "-c", _CLIPBOARD], capture_output=True, text=True,
                          timeout=30).stdout


def page_text(window):
    """The text of the page the window shows, as selecting all of it and
    copying it gives."""
    keys(window, "ctrl+a", "ctrl+c")
    return clipboard_text()
