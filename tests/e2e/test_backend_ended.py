"""The sample backend killed while the app is in use: the window says which
signal ended it, with the log's tail, and F5 (or Ctrl+R) starts it again,
through the starting indicator, to the app's first page."""

import os
import re
import signal
import unittest

from browser_support import keys
from harness import ShellTest, backend_processes, wait_for
from read_back import accessible, accessible_widgets, page_text
from test_startup import HOME_TITLE, LOADED, port_of, shell_backends

HOME_PAGE = "^" + LOADED + HOME_TITLE + "$"
MESSAGE_PAGE = "^" + LOADED + "$"  # the message page has no title
# The starting indicator and the menu are read through the accessibility tree.
ACCESSIBLE = {"NO_AT_BRIDGE": "0"}


class BackendEndedTest(ShellTest):
    def setUp(self):
        # The sample backend is ready only while this file exists: the test
        # holds a restarted one back until it has seen the window starting.
        self.ready_file = os.path.join(self.homes.root, "ready")
        open(self.ready_file, "w").close()
        self.shell = self.start_shell(env=dict(ACCESSIBLE, SAMPLE_READY_FILE=self.ready_file))
        self.window = self.shell.window_id()

    def backend(self, other_than=None):
        def find():
            pids = [pid for pid in shell_backends(self.shell) if pid != other_than]
            return pids[0] if pids else None
        return wait_for(find, 60, what="a backend child")

    def kill_backend(self):
        """Kills the running backend; gives its pid, its port and the text of
        the page that follows."""
        backend = self.backend()
        port = port_of(backend)
        start = len(self.shell.stderr_lines())
        os.kill(backend, signal.SIGKILL)
        self.shell.wait_for_line(MESSAGE_PAGE, start=start)
        wait_for(lambda: backend not in backend_processes(), 10, what="the killed backend gone")
        return backend, port, page_text(self.window)

    def starting_indicator_showing(self):
        return any(widget["role"] == "label" and widget["name"] == "正在启动…" and widget["showing"]
                   for widget in accessible_widgets(self.shell))

    def reload_item(self):
        return accessible(self.shell, "the menu item 重新载入", role="menu item", name="重新载入")

    def test_killed_backend_says_which_signal_and_f5_brings_the_app_back(self):
        self.shell.wait_for_line(HOME_PAGE)
        killed, port, text = self.kill_backend()
        match = re.fullmatch("出错了\n+后端被信号 9（SIGKILL）结束了。\n\n(.+)\n\n按 F5 重新启动后端。\n?",
                             text, re.DOTALL)
        self.assertTrue(match, repr(text))
        self.assertIn(f"127.0.0.1:{port}", match.group(1), "the log's tail")
        wait_for(lambda: self.reload_item()["sensitive"], what="重新载入 usable")

        os.remove(self.ready_file)
        start = len(self.shell.stderr_lines())
        keys(self.window, "F5")
        wait_for(self.starting_indicator_showing, what="the starting indicator")
        restarted = self.backend(other_than=killed)
        self.assertFalse(self.reload_item()["sensitive"], "nothing to reload while it starts")
        self.assertEqual([line for line in self.shell.stderr_lines()[start:] if LOADED in line], [],
                         "no page while it starts")
        open(self.ready_file, "w").close()
        self.shell.wait_for_line(HOME_PAGE, start=start)
        wait_for(lambda: not self.starting_indicator_showing(), what="the indicator gone")
        self.assertEqual(shell_backends(self.shell), [restarted])

        # Ctrl+R does the same.
        _, _, text = self.kill_backend()
        self.assertIn("后端被信号 9（SIGKILL）结束了。", text)
        start = len(self.shell.stderr_lines())
        keys(self.window, "ctrl+r")
        self.shell.wait_for_line(HOME_PAGE, start=start)
        self.assertEqual(len(shell_backends(self.shell)), 1)
        self.assertEqual(self.shell.terminate(), 0)


if __name__ == "__main__":
    unittest.main()
