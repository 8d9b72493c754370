"""The quit question about downloads is about the moment it shows, under
xfwm4 with the local sample backend: asked while a download runs, it shows;
once that download has finished it goes by itself, the shell quits, and the
finished file stays whole."""

import os
import signal
import unittest

from browser_support import LOADED, keys, save_as, wait_for_dialog
from desktops import XScreen
from harness import ShellTest, process_command_lines, wait_for

SIX_MB = 6 * 1024 * 1024


def backend_pid(shell):
    for pid, args in process_command_lines().items():
        if "app.launcher" in args and "start" in args:
            return pid
    raise AssertionError("no sample backend runs")


class QuitOfTheMomentTest(ShellTest):
    @classmethod
    def setUpClass(cls):
        cls.screen = XScreen("xfwm4")

    @classmethod
    def tearDownClass(cls):
        cls.screen.close()

    def test_the_downloads_question_goes_when_the_last_download_has_finished(self):
        saved = os.path.join(self.homes.root, "data.bin")
        shell = self.start_shell(env={"SAMPLE_HOME_REDIRECT": "/downloads.html"})
        window = shell.window_id()
        shell.wait_for_line("^" + LOADED + "下载$", timeout=60)
        keys(window, "Tab", "Tab", "Tab", "Return")  # the 6 MB slow download
        save_as(shell, window, saved)
        wait_for(lambda: os.path.exists(saved) and os.path.getsize(saved) > 0,
                 what="the download to be written")

        # The backend holds still, so the download is running for as long as
        # the test needs it to.
        backend = backend_pid(shell)
        os.kill(backend, signal.SIGSTOP)
        self.addCleanup(lambda: os.kill(backend, signal.SIGCONT))
        keys(window, "ctrl+q")
        wait_for_dialog(shell, window)
        shots = os.environ.get("LUMIVANT_SCREENSHOTS")
        if shots:
            shell.screenshot(os.path.join(shots, "quit-downloads-question.png"))
        self.assertLess(os.path.getsize(saved), SIX_MB)
        self.assertIsNone(shell.process.poll(), "the question holds the quit")

        os.kill(backend, signal.SIGCONT)
        self.assertEqual(shell.wait(30), 0,
                         "with the download finished, the question went and the shell quit")
        self.assertEqual(os.path.getsize(saved), SIX_MB, "the finished file stays whole")


if __name__ == "__main__":
    unittest.main()
