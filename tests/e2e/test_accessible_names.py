"""The shell's own controls as a screen reader meets them, with the local
sample backend, read through the accessibility bus: a download row's progress
bar and 取消 button say which download they belong to, the find field says
what it searches, and 找不到 is a notification, which a screen reader speaks
as it shows wherever the focus is."""

import os
import unittest

from browser_support import LOADED, keys, save_as, type_text
from harness import ShellTest
from read_back import accessible

# The harness keeps the accessibility bridge off; these tests read through it.
ACCESSIBLE = {"NO_AT_BRIDGE": "0", "SAMPLE_HOME_REDIRECT": "/downloads.html"}


class AccessibleNamesTest(ShellTest):
    def test_download_rows_and_the_find_bar_are_named_and_not_found_is_a_notification(self):
        saved = os.path.join(self.homes.root, "slow.bin")
        shell = self.start_shell(env=ACCESSIBLE)
        window = shell.window_id()
        shell.wait_for_line("^" + LOADED + "下载$", timeout=60)
        # The 60 MB download takes a minute: its row stays while it is read.
        keys(window, *["Tab"] * 7, "Return")
        save_as(shell, window, saved)
        row = "正在下载 slow.bin"
        accessible(shell, "the row's cancel button", role="push button", name="取消：" + row,
                   showing=True)
        accessible(shell, "the row's progress bar", role="progress bar", name="进度：" + row)
        accessible(shell, "the strip of rows", role="list", name="下载")

        keys(window, "ctrl+f")
        field = accessible(shell, "the find field", name="在页面中查找", showing=True)
        self.assertIn(field["role"], ("text", "entry"))
        type_text(window, "没有这段文字")
        accessible(shell, "找不到 as a notification", role="notification", name="找不到",
                   showing=True)
        self.assertEqual(shell.terminate(), 0)


if __name__ == "__main__":
    unittest.main()
