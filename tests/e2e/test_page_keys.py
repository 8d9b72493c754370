"""Keys reach the page before the menu's shortcuts: an editor of the page's
own sees the six edit shortcuts and keeps them, the edit menu chosen with the
mouse still acts on the page, and Ctrl+Q quits whatever the page does."""

import subprocess
import unittest

from browser_support import LOADED, RecordingServer, geometry, keys, type_text
from harness import ShellTest


def click(x, y):
    subprocess.run(["xdotool", "mousemove", "--sync", str(x), str(y), "click", "1"], check=True)


class PageKeysTest(ShellTest):
    def setUp(self):
        server = RecordingServer("/keys.html?focus=editor")
        self.addCleanup(server.close)
        server.use_as_organisation_server(self.homes)
        self.shell = self.start_shell()
        self.window = self.shell.window_id()
        self.shell.wait_for_line("^" + LOADED + "按键$")

    def test_the_pages_own_editor_gets_the_edit_shortcuts_and_keeps_them(self):
        start = len(self.shell.stderr_lines())
        type_text(self.window, "ab")
        # Select all and type over it, undo and redo that, then cut and paste
        # back what was copied. Had the menu acted too, the page's selection
        # would hold the whole page and the page would have said so.
        keys(self.window, "ctrl+a", "c", "ctrl+z", "shift+ctrl+z", "ctrl+a", "ctrl+c", "ctrl+x",
             "ctrl+v", "Tab", "Return")
        report = self.shell.wait_for_line("^" + LOADED + "(按键|页面)", start=start)[len(LOADED):]
        self.assertEqual(report, "按键：Ctrl+A Ctrl+Z Shift+Ctrl+Z Ctrl+A Ctrl+C Ctrl+X Ctrl+V；文本：c")

    def test_the_edit_menu_chosen_with_the_mouse_still_acts_on_the_page(self):
        x, y, _, _ = geometry(self.window)
        start = len(self.shell.stderr_lines())
        click(x + 100, y + 12)    # 编辑, the second menu of the bar
        click(x + 130, y + 190)   # 全选, its last item
        self.shell.wait_for_line("^" + LOADED + "页面全选了$", start=start)

    def test_ctrl_q_quits_even_from_the_pages_editor(self):
        keys(self.window, "ctrl+q")
        self.assertEqual(self.shell.wait(20), 0)


if __name__ == "__main__":
    unittest.main()
