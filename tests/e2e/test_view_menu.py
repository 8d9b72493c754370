"""The view menu as a user meets it: back, forward and reload by their keys
and the mouse's side buttons, zoom kept across a relaunch and a backend
restart, the find bar finding, not finding and closing, the print dialog,
and the home page's buttons out of reach of the menu keys."""

import json
import os
import re
import subprocess
import unittest

from browser_support import LOADED, RecordingServer, focus, keys, type_text, wait_for_dialog, \
    wait_for_no_dialog, xdotool
from harness import ShellTest, wait_for
from read_back import accessible, accessible_widgets, clipboard_text
from test_startup import HOME_TITLE, click_restart, shell_backends

VIEW_PAGE = r"^" + LOADED + r"视图 宽 (\d+)$"
SECOND_PAGE = r"^" + LOADED + r"视图 第2页 宽 \d+$"
# The widgets are read through the accessibility tree.
ACCESSIBLE = {"NO_AT_BRIDGE": "0"}


def zoom_file(homes):
    return os.path.join(homes.xdg["XDG_STATE_HOME"], "Lumivant", "page-zoom.json")


class ViewMenuTest(ShellTest):
    def start(self, env=None):
        shell = self.start_shell(env=dict(ACCESSIBLE, **(env or {})))
        return shell, shell.window_id()

    def serve(self, start_page):
        server = RecordingServer(start_page)
        self.addCleanup(server.close)
        server.use_as_organisation_server(self.homes)
        return server

    def menu_item(self, shell, title):
        return accessible(shell, f"the menu item {title}", role="menu item", name=title)

    def then(self, shell, window, *names, pattern):
        """Presses names and gives the load line they lead to."""
        start = len(shell.stderr_lines())
        keys(window, *names)
        return shell.wait_for_line(pattern, start=start)

    def test_back_forward_and_reload_by_keys_and_side_buttons(self):
        server = self.serve("/view.html?focus=next")
        shell, window = self.start()
        shell.wait_for_line(VIEW_PAGE)
        self.assertFalse(self.menu_item(shell, "后退")["sensitive"], "nowhere to go back to")
        self.assertFalse(self.menu_item(shell, "前进")["sensitive"])
        self.assertTrue(self.menu_item(shell, "重新载入")["sensitive"])

        self.then(shell, window, "Return", pattern=SECOND_PAGE)  # the focused link
        wait_for(lambda: self.menu_item(shell, "后退")["sensitive"], what="后退 usable")
        self.then(shell, window, "alt+Left", pattern=VIEW_PAGE)
        wait_for(lambda: self.menu_item(shell, "前进")["sensitive"], what="前进 usable")
        self.then(shell, window, "alt+Right", pattern=SECOND_PAGE)

        # The mouse's side buttons, over the page.
        x, y = 640, 400
        xdotool("mousemove", "--window", window, x, y)
        start = len(shell.stderr_lines())
        xdotool("click", "8")
        shell.wait_for_line(VIEW_PAGE, start=start)
        start = len(shell.stderr_lines())
        xdotool("click", "9")
        shell.wait_for_line(SECOND_PAGE, start=start)

        # F5 and Ctrl+R ask the server again.
        for key in ("F5", "ctrl+r"):
            asked = server.requests.count(("GET", "/view.html?page=2"))
            self.then(shell, window, key, pattern=SECOND_PAGE)
            self.assertEqual(server.requests.count(("GET", "/view.html?page=2")), asked + 1, key)
        self.assertEqual(shell.terminate(), 0)

    def test_zoom_is_kept_across_a_relaunch_and_a_backend_restart(self):
        # The local sample backend, whose home sends the view page.
        env = {"SAMPLE_HOME_REDIRECT": "/view.html"}
        shell, window = self.start(env)
        actual = int(re.match(VIEW_PAGE, shell.wait_for_line(VIEW_PAGE)).group(1))
        keys(window, "ctrl+plus", "ctrl+equal")  # 110 %, then 125 %
        wide = int(re.match(VIEW_PAGE, self.then(shell, window, "F5", pattern=VIEW_PAGE)).group(1))
        self.assertAlmostEqual(wide, actual / 1.25, delta=2)
        with open(zoom_file(self.homes)) as kept:
            self.assertEqual(list(json.load(kept).values()), [1.25])
        self.assertEqual(shell.terminate(), 0)

        shell, window = self.start(env)
        self.assertEqual(shell.wait_for_line(VIEW_PAGE), LOADED + f"视图 宽 {wide}",
                         "the next launch shows the page at the kept zoom")
        backends = shell_backends(shell)
        start = len(shell.stderr_lines())
        click_restart(shell)
        self.assertEqual(shell.wait_for_line(VIEW_PAGE, start=start, timeout=90),
                         LOADED + f"视图 宽 {wide}", "and so does the restarted backend's")
        self.assertNotEqual(shell_backends(shell), backends)

        self.then(shell, window, "ctrl+minus", "F5", pattern=VIEW_PAGE)  # back to 110 %
        self.assertEqual(self.then(shell, window, "ctrl+0", "F5", pattern=VIEW_PAGE),
                         LOADED + f"视图 宽 {actual}")
        self.assertEqual(shell.terminate(), 0)

    def test_find_bar_finds_says_when_nothing_matches_and_closes(self):
        self.serve("/view.html")
        shell, window = self.start()
        shell.wait_for_line(VIEW_PAGE)
        field = [w for w in accessible_widgets(shell) if w["role"] == "text"]
        self.assertEqual([w for w in field if w["showing"]], [], "no find bar yet")

        keys(window, "ctrl+f")
        accessible(shell, "the search field", role="text", showing=True)
        type_text(window, "artemisinin")
        keys(window, "Return")
        not_found = accessible(shell, "the not-found text", role="notification", name="找不到")
        self.assertFalse(not_found["showing"])
        keys(window, "Escape")
        wait_for(lambda: not accessible(shell, "the field", role="text")["showing"],
                 what="the find bar to close")
        # The focus is back on the page, whose selection is the match, as cased there.
        keys(window, "ctrl+c")
        self.assertEqual(clipboard_text(), "Artemisinin")

        keys(window, "ctrl+f")
        type_text(window, "zzqx")
        accessible(shell, "找不到 shown", role="notification", name="找不到", showing=True)
        buttons = {w["name"] for w in accessible_widgets(shell)
                   if w["role"] == "push button" and w["showing"]}
        self.assertLessEqual({"上一个", "下一个"}, buttons)
        shot = shell.screenshot(os.path.join(
            os.environ.get("LUMIVANT_SCREENSHOTS", self.homes.root), "find-bar-not-found.png"))
        self.assertTrue(os.path.getsize(shot) > 0)
        keys(window, "Escape")
        wait_for(lambda: not accessible(shell, "the field", role="text")["showing"],
                 what="the find bar to close")
        self.assertEqual(shell.terminate(), 0)

    def test_print_opens_the_system_print_dialog(self):
        self.serve("/view.html")
        shell, window = self.start()
        shell.wait_for_line(VIEW_PAGE)
        keys(window, "ctrl+p")
        dialog = wait_for_dialog(shell, window)
        # GTK's own print dialog, in the system's language (English here), with
        # its printers and page setup.
        accessible(shell, "the print dialog", role="dialog", name="Print", showing=True)
        accessible(shell, "its page setup", role="page tab", name="Page Setup", showing=True)
        keys(dialog, "Escape")
        wait_for_no_dialog(shell, window)
        self.assertEqual(shell.terminate(), 0)

    def test_alt_e_on_the_home_page_leaves_the_backend_running(self):
        shell, window = self.start()
        shell.wait_for_line("^" + LOADED + HOME_TITLE + "$")
        backends = wait_for(lambda: shell_backends(shell), what="the backend")
        keys(window, "alt+e", "Escape", "alt+r")
        # A reload afterwards shows the same home page of the same backend.
        self.then(shell, window, "F5", pattern="^" + LOADED + HOME_TITLE + "$")
        self.assertEqual(shell_backends(shell), backends)
        self.assertEqual(shell.terminate(), 0)


if __name__ == "__main__":
    unittest.main()
