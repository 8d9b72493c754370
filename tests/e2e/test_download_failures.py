"""A download that does not arrive whole never touches the file the user
chose, with the local sample backend: one whose server closes the connection
before the announced size, and one whose backend is killed, fail with the
alert "文件下载失败"; quitting while one runs asks first in the shell's own
dialog (留下 keeps it running, 退出 cancels it), and a termination request
from the system cancels it without asking. Each time a file the user had
there keeps its bytes and permissions, and where there was none nothing is
left."""

import os
import signal
import unittest

from browser_support import keys, wait_for_dialog, wait_for_no_dialog
from download_support import SCREENSHOTS, DownloadTestCase
from harness import backend_processes, wait_for


class DownloadFailuresTest(DownloadTestCase):
    def test_a_failed_download_leaves_the_chosen_file_as_it_was(self):
        # The server closes the connection after 2 of the 6 MB it announced.
        shell, window = self.start_on("cut")
        self.download(shell, window, os.path.join(self.saved, "cut.bin"))
        self.failure_alert(shell, window, "download-cut-alert.png")
        self.assertEqual(self.left_behind(), [])

        # The backend is killed while it sends over the user's file.
        shell.kill()
        thesis = self.users_file("thesis.bin")
        shell, window = self.start_on("long")
        self.download(shell, window, thesis)
        self.growing()
        self.assert_users_file_as_it_was(thesis)
        for pid in backend_processes(homes=self.homes):
            os.kill(pid, signal.SIGKILL)
        self.failure_alert(shell, window, "download-killed-alert.png")
        self.assertEqual(self.left_behind(), ["thesis.bin"])
        self.assert_users_file_as_it_was(thesis)

    def test_quitting_during_a_download_asks_and_leaves_the_chosen_file_as_it_was(self):
        thesis = self.users_file("thesis.bin", mode=0o600)
        shell, window = self.start_on("long")
        self.download(shell, window, thesis)
        self.growing()
        keys(window, "ctrl+q")
        question = wait_for_dialog(shell, window)
        if SCREENSHOTS:
            shell.screenshot(os.path.join(SCREENSHOTS, "quit-downloads-question.png"))
        keys(question, "Escape")  # 留下
        wait_for_no_dialog(shell, window)
        self.assertIsNone(shell.process.poll())
        before = self.written()
        wait_for(lambda: self.written() > before, what="the download to go on")

        keys(window, "ctrl+q")
        question = wait_for_dialog(shell, window)
        keys(question, "Tab", "Return")  # from 留下, the default, to 退出
        self.assertEqual(shell.wait(20), 0)
        self.assertEqual(self.left_behind(), ["thesis.bin"])
        self.assert_users_file_as_it_was(thesis, mode=0o600)

        # The system's termination request does not ask.
        shell, window = self.start_on("long")
        self.download(shell, window, os.path.join(self.saved, "terminated.bin"))
        self.growing()
        self.assertEqual(shell.terminate(), 0)
        self.assertEqual(self.left_behind(), ["thesis.bin"])
        self.assert_users_file_as_it_was(thesis, mode=0o600)


if __name__ == "__main__":
    unittest.main()
