"""Save panels only for the user's own clicks, with the local sample backend:
a page whose 30 hidden frames each load an attachment as it opens brings up
no panel, and one click that makes a hundred frames load attachments brings
up one, which saves its file; the other downloads leave nothing on disk."""

import os
import re
import time
import unittest

from browser_support import LOADED, keys, shell_windows, type_text, window_title
from harness import ShellTest, wait_for

FRAME_REQUEST = re.compile(r'"GET /export/report\.csv\?frame=\d+ ')
CLICK_REQUEST = re.compile(r'"GET /export/report\.csv\?copy=\d+ ')


class DownloadStormTest(ShellTest):
    def setUp(self):
        self.saved = os.path.join(self.homes.root, "saved")
        os.makedirs(self.saved)

    def requests(self, pattern):
        try:
            with open(os.path.join(self.homes.data_root, "logs", "backend.log"),
                      encoding="utf-8", errors="replace") as log:
                return len(pattern.findall(log.read()))
        except FileNotFoundError:
            return 0

    def other_windows(self, shell, window):
        return [w for w in shell_windows(shell) if w != window]

    def quiet_moment(self):
        # Checking that nothing more comes: give the shell a moment to show it.
        time.sleep(1.0)

    def test_frames_give_no_panel_and_one_click_for_a_hundred_files_gives_one(self):
        shell = self.start_shell(env={"SAMPLE_HOME_REDIRECT": "/storm.html?focus=hundred"})
        window = shell.window_id()
        shell.wait_for_line("^" + LOADED + "下载风暴$")
        wait_for(lambda: self.requests(FRAME_REQUEST) == 30, what="the thirty attachments")
        self.quiet_moment()
        self.assertEqual(self.other_windows(shell, window), [], "no panel without a click")

        keys(window, "Return")  # the focused button: one click, a hundred frames
        panel = wait_for(lambda: (self.other_windows(shell, window) or [None])[0],
                         what="the save panel")
        self.assertEqual(window_title(panel), "保存研究文件")
        wait_for(lambda: self.requests(CLICK_REQUEST) == 100, what="the hundred attachments")
        keys(panel, "ctrl+a")
        type_text(panel, os.path.join(self.saved, "report.csv"))
        keys(panel, "Return")
        wait_for(lambda: panel not in shell_windows(shell), what="the panel to close")
        wait_for(lambda: os.path.exists(os.path.join(self.saved, "report.csv")), what="the file")
        self.quiet_moment()
        self.assertEqual(self.other_windows(shell, window), [], "one panel for one click")
        self.assertEqual(os.listdir(self.saved), ["report.csv"])
        self.assertEqual(shell.terminate(), 0)


if __name__ == "__main__":
    unittest.main()
