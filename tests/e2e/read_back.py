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

_WIDGETS = r"""
import json, sys, gi
gi.require_version("Atspi", "2.0")
from gi.repository import Atspi

pid = int(sys.argv[1])
found = []

def walk(node, depth):
    if node is None or depth > 40:
        return
    role = node.get_role_name()
    states = node.get_state_set()
    text = None
    try:
        if node.get_text_iface() is not None:
            text = Atspi.Text.get_text(node, 0, -1)
    except Exception:
        text = None
    found.append({"role": role, "name": node.get_name(), "text": text,
                  "showing": states.contains(Atspi.StateType.SHOWING),
                  "sensitive": states.contains(Atspi.StateType.SENSITIVE)})
    # The page's own content lives in the web process: not the shell's widgets.
    if role in ("document web", "document frame"):
        return
    for i in range(node.get_child_count()):
        walk(node.get_child_at_index(i), depth + 1)

desktop = Atspi.get_desktop(0)
for i in range(desktop.get_child_count()):
    app = desktop.get_child_at_index(i)
    if app is not None and app.get_process_id() == pid:
        walk(app, 0)
json.dump(found, sys.stdout)
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


def clipboard_text():
    return subprocess.run([SYSTEM_PYTHON, "-c", _CLIPBOARD], capture_output=True, text=True,
                          timeout=30).stdout


def page_text(window):
    """The text of the page the window shows, as selecting all of it and
    copying it gives."""
    keys(window, "ctrl+a", "ctrl+c")
    return clipboard_text()
