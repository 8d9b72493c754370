"""A download that does not arrive whole leaves nothing under the name the
user chose, with the local sample backend: one whose server closes the
connection before the announced size, and one whose backend is killed, fail
with the alert "文件下载失败"; quitting while one runs asks first in the
shell's own dialog (留下 keeps it running, 退出 cancels it), and a termination
request from the system cancels it without asking."""

import os
import signal
import unittest

from browser_support import (LOADED, keys, shell_windows, type_text, wait_for_dialog,
                             wait_for_no_dialog, window_title)
from desktops import XScreen
from harness import ShellTest, backend_processes, wait_for

SCREENSHOTS = os.environ.get("LUMIVANT_SCREENSHOTS")


class DownloadFailuresTest(ShellTest):
    @classmethod
    def setUpClass(cls):
        cls.screen = XScreen("xfwm4")

    @classmethod
    def tearDownClass(cls):
        cls.screen.close()

    def setUp(self):
        self.saved = os.path.join(self.homes.root, "saved")
        os.makedirs(self.saved)

    def start_on(self, link):
        """A shell whose first page is the downloads page with that link focused."""
        shell = self.start_shell(env={"SAMPLE_HOME_REDIRECT": f"/downloads.html?focus={link}"})
        window = shell.window_id()
        shell.wait_for_line("^" + LOADED + "下载$")
        return shell, window

    def download(self, shell, window, name):
        """Activates the focused link and saves as name; gives the chosen path."""
        path = os.path.join(self.saved, name)
        keys(window, "Return")
        panel = wait_for_dialog(shell, window)
        self.assertEqual(window_title(panel), "保存研究文件")
        keys(panel, "ctrl+a")
        type_text(panel, path)
        keys(panel, "Return")
        # What follows may be the failure alert already.
        wait_for(lambda: panel not in shell_windows(shell), what="the save panel to close")
        return path

    def left_behind(self):
        return sorted(os.listdir(self.saved))

    def growing(self, path):
        """Waits until the engine has written part of the file."""
        def written():
            for candidate in (path, path + ".wkdownload"):
                if os.path.exists(candidate) and os.path.getsize(candidate) > 0:
                    return True
            return False
        wait_for(written, what="the download under way")

    def failure_alert(self, shell, window, name):
        alert = wait_for_dialog(shell, window)
        if SCREENSHOTS:
            shell.screenshot(os.path.join(SCREENSHOTS, name))
        keys(alert, "Return")
        wait_for_no_dialog(shell, window)

    def test_a_short_download_fails_and_leaves_nothing_behind(self):
        # The server closes the connection after 2 of the 6 MB it announced.
        shell, window = self.start_on("cut")
        self.download(shell, window, "cut.bin")
        self.failure_alert(shell, window, "download-cut-alert.png")
        self.assertEqual(self.left_behind(), [])

        # The backend is killed while it sends.
        shell.kill()
        shell, window = self.start_on("long")
        path = self.download(shell, window, "killed.bin")
        self.growing(path)
        for pid in backend_processes(homes=self.homes):
            os.kill(pid, signal.SIGKILL)
        self.failure_alert(shell, window, "download-killed-alert.png")
        self.assertEqual(self.left_behind(), [])

    def test_quitting_during_a_download_asks_and_removes_the_partial_file(self):
        shell, window = self.start_on("long")
        path = self.download(shell, window, "quit.bin")
        self.growing(path)
        keys(window, "ctrl+q")
        question = wait_for_dialog(shell, window)
        if SCREENSHOTS:
            shell.screenshot(os.path.join(SCREENSHOTS, "quit-downloads-question.png"))
        keys(question, "Escape")  # 留下
        wait_for_no_dialog(shell, window)
        self.assertIsNone(shell.process.poll())
        before = os.path.getsize(path + ".wkdownload")
        wait_for(lambda: os.path.getsize(path + ".wkdownload") > before,
                 what="the download to go on")

        keys(window, "ctrl+q")
        question = wait_for_dialog(shell, window)
        keys(question, "Tab", "Return")  # from 留下, the default, to 退出
        self.assertEqual(shell.wait(20), 0)
        self.assertEqual(self.left_behind(), [])

        # The system's termination request does not ask.
        shell, window = self.start_on("long")
        path = self.download(shell, window, "terminated.bin")
        self.growing(path)
        self.assertEqual(shell.terminate(), 0)
        self.assertEqual(self.left_behind(), [])


if __name__ == "__main__":
    unittest.main()
