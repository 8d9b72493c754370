"""A slow download with the local sample backend shows a row below the page
while it runs, takes its room from the page rather than covering it, and goes
when the file is complete or when its 取消 button cancels it, with no alert."""

import os
import re
import time
import unittest

from browser_support import (COMPOSITING, LOADED, geometry, keys, pixel, shell_windows, type_text,
                             wait_for_dialog, wait_for_no_dialog, window_title, xdotool)
from harness import ShellTest, wait_for

HOME_TITLE = "示例研究台 · 首页"
SIX_MB = 6 * 1024 * 1024
VIEWPORT = re.compile(r'"GET /viewport\?height=(\d+) ')


class DownloadProgressTest(ShellTest):
    def setUp(self):
        self.saved = os.path.join(self.homes.root, "saved")
        os.makedirs(self.saved)

    def heights(self):
        """Every height the downloads page has reported, in order."""
        try:
            with open(os.path.join(self.homes.data_root, "logs", "backend.log"),
                      encoding="utf-8", errors="replace") as log:
                return [int(match.group(1)) for match in VIEWPORT.finditer(log.read())]
        except FileNotFoundError:
            return []

    def wait_for_height(self, condition, after, what):
        return wait_for(lambda: next((h for h in self.heights()[after:] if condition(h)), None),
                        what=what)

    def screenshot(self, shell, name):
        where = os.environ.get("LUMIVANT_SCREENSHOTS")
        if where:
            shell.screenshot(os.path.join(where, name))

    def start_download(self, shell, window, name):
        keys(window, "Return")
        dialog = wait_for_dialog(shell, window)
        self.assertEqual(window_title(dialog), "保存研究文件")
        keys(dialog, "ctrl+a")
        type_text(dialog, os.path.join(self.saved, name))
        keys(dialog, "Return")
        wait_for_no_dialog(shell, window)

    def wait_for_page_at_the_bottom(self, shell, window):
        """Waits until the page is painted where the row was: the pixel just
        above the window's bottom edge is the page's, not black."""
        _, _, width, height = geometry(window)
        shot = os.path.join(self.homes.root, "bottom.png")

        def painted():
            shell.screenshot(shot, window=window)
            return pixel(shot, width // 2, height - 10) != (0, 0, 0)
        wait_for(painted, timeout=10, what="the page painted where the row was")

    def size_of(self, name):
        path = os.path.join(self.saved, name)
        return os.path.getsize(path) if os.path.exists(path) else -1

    def test_a_slow_download_shows_its_row_until_it_is_complete_or_cancelled(self):
        shell = self.start_shell(env=COMPOSITING)
        window = shell.window_id()
        shell.wait_for_line("^" + LOADED + HOME_TITLE + "$", timeout=60)
        keys(window, "Tab", "Tab", "Return")  # the second link: the downloads page
        shell.wait_for_line("^" + LOADED + "下载$")
        full = wait_for(lambda: self.heights()[-1] if self.heights() else None,
                        what="the page's first height report")
        keys(window, "Tab", "Tab", "Tab")  # the 6 MB slow download

        seen = len(self.heights())
        self.start_download(shell, window, "complete.bin")
        self.wait_for_height(lambda h: h < full, seen, "the page to make room for the row")
        self.assertLess(self.size_of("complete.bin"), SIX_MB, "the row shows while it runs")
        self.screenshot(shell, "download-row.png")
        seen = len(self.heights())
        wait_for(lambda: self.size_of("complete.bin") == SIX_MB, what="the whole file")
        self.wait_for_height(lambda h: h == full, seen, "the row to go")
        self.wait_for_page_at_the_bottom(shell, window)
        self.screenshot(shell, "download-row-gone.png")
        self.assertEqual(shell_windows(shell), [window], "a finished download announces nothing")

        seen = len(self.heights())
        self.start_download(shell, window, "cancelled.bin")
        self.wait_for_height(lambda h: h < full, seen, "the second download's row")
        seen = len(self.heights())
        # The row's 取消 button sits at the right end of the strip at the
        # window's bottom edge.
        _, _, width, height = geometry(window)
        xdotool("mousemove", "--window", window, width - 40, height - 20, "click", "1")
        self.wait_for_height(lambda h: h == full, seen, "the cancelled download's row to go")
        time.sleep(1.0)  # checking that no alert follows: give it the moment it would take
        self.assertEqual(shell_windows(shell), [window], "cancelling shows no alert")
        self.assertLess(self.size_of("cancelled.bin"), SIX_MB)


if __name__ == "__main__":
    unittest.main()
