"""A page of the app that does not come after the first page has shown: the
organisation server stops while in use, the next click says so in the
window, and F5 tries again once the server is back."""

import re
import unittest

from browser_support import LOADED, RecordingServer, keys
from harness import ShellTest
from read_back import page_text

VIEW_PAGE = "^" + LOADED + r"视图 宽 \d+$"
SECOND_PAGE = "^" + LOADED + r"视图 第2页 宽 \d+$"
MESSAGE_PAGE = "^" + LOADED + "$"  # the message page has no title


class LaterFailureTest(ShellTest):
    def test_stopped_server_says_what_failed_and_f5_retries_once_it_is_back(self):
        homes = self.homes
        server = RecordingServer("/view.html?focus=next")
        server.use_as_organisation_server(homes)
        port = server.port
        shell = self.start_shell(homes)
        window = shell.window_id()
        shell.wait_for_line(VIEW_PAGE)

        server.close()
        start = len(shell.stderr_lines())
        keys(window, "Return")  # the focused link to the second page
        shell.wait_for_line(MESSAGE_PAGE, start=start)
        address = f"http://127.0.0.1:{port}/view.html?page=2"
        text = page_text(window)
        match = re.fullmatch("出错了\n+页面没能打开 " + re.escape(address) + "\n\n(.+)\n\n按 F5 再试一次。\n?",
                             text)
        self.assertTrue(match, repr(text))
        self.assertIn("Connection refused", match.group(1), "the engine's own reason")

        # Still down: trying again says so again.
        start = len(shell.stderr_lines())
        keys(window, "F5")
        shell.wait_for_line(MESSAGE_PAGE, start=start)

        again = RecordingServer("/view.html", port=port)
        self.addCleanup(again.close)
        start = len(shell.stderr_lines())
        keys(window, "F5")
        shell.wait_for_line(SECOND_PAGE, start=start)
        self.assertIn(("GET", "/view.html?page=2"), again.requests)
        self.assertEqual(shell.terminate(), 0)


if __name__ == "__main__":
    unittest.main()
