"""The quit question about downloads is about the moment it shows, under
xfwm4 with the local sample backend: asked while a download runs, it shows;
once that download has finished it goes by itself, the shell quits, and the
finished file stays whole."""

import glob
import os
import signal
import unittest

from browser_support import LOADED, keys, save_as, wait_for_dialog
from desktops import XScreen
from download_support import PARTIAL_PREFIX
from harness import ShellTest, process_command_lines, process_tree, wait_for

SIX_MB = 6 * 1024 * 1024


def backend_pid(shell):
    """The shell's own sample backend (other shells may run beside it)."""
    commands = process_command_lines()
    for pid in process_tree(shell.process.pid):
        args = commands.get(pid) or []
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
        # The engine writes in a hidden folder beside the chosen name until the
        # download is whole.
        def under_way():
            for partial in glob.glob(os.path.join(self.homes.root, PARTIAL_PREFIX + "*", "*")):
                try:
                    if 0 < os.path.getsize(partial) < SIX_MB:
                        return True
                except FileNotFoundError:
                    pass  # renamed over the chosen name meanwhile
            return False

        wait_for(under_way, what="the download under way")

        # The backend holds still, so the download is running for as long as
        # the test needs it to.
        backend = backend_pid(shell)
        self.hold_still(backend)
        keys(window, "ctrl+q")
        wait_for_dialog(shell, window)
        shots = os.environ.get("LUMIVANT_SCREENSHOTS")
        if shots:
            shell.screenshot(os.path.join(shots, "quit-downloads-question.png"))
        self.assertFalse(os.path.exists(saved) and os.path.getsize(saved) == SIX_MB)
        self.assertIsNone(shell.process.poll(), "the question holds the quit")

        os.kill(backend, signal.SIGCONT)
        self.assertEqual(shell.wait(30), 0,
                         "with the download finished, the question went and the shell quit")
        self.assertEqual(os.path.getsize(saved), SIX_MB, "the finished file stays whole")


if __name__ == "__main__":
    unittest.main()
