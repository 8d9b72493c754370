"""What the window shows while it cannot show the application: it says it is
starting while a slow backend starts; a page whose process was killed comes
back, three times within a minute and then with a message page; a crash of the
network process leaves the shell working; a first page that redirects to
another port ends in a message page; an attachment is saved, not shown."""

import os
import signal
import subprocess
import unittest

from browser_support import LOADED, RecordingServer, engine_process, keys, save_as, shell_windows, spread
from harness import ShellTest, wait_for
from test_startup import HOME_TITLE, click_restart, shell_backends

SCREENSHOTS = os.environ.get("LUMIVANT_SCREENSHOTS")  # a directory to keep them in


def window_size(png):
    out = subprocess.run(["identify", "-format", "%w %h", png], capture_output=True, text=True,
                         check=True).stdout
    width, height = out.split()
    return int(width), int(height)


class PageRecoveryTest(ShellTest):
    def start(self, env=None):
        shell = self.start_shell(env=env)
        return shell

    def screenshot(self, shell, window, name):
        directory = SCREENSHOTS or self.homes.root
        os.makedirs(directory, exist_ok=True)
        return shell.screenshot(os.path.join(directory, name), window)

    def test_window_says_it_is_starting_until_a_page_shows(self):
        shell = self.start({"SAMPLE_READY_DELAY": "60"})
        window = shell.window_id()
        backend = wait_for(lambda: (shell_backends(shell) or [None])[0], 60, what="the backend")
        starting = self.screenshot_when(shell, window, "starting.png",
                                        lambda png: spread(png, *self.centre(png)) > 0,
                                        "the starting indicator")
        width, height = window_size(starting)
        # The spinner and the text in the middle; the window's plain background around them.
        self.assertEqual(spread(starting, 0, height // 2 - 50, width // 4, 100), 0)
        self.assertEqual(spread(starting, 3 * width // 4, height // 2 - 50, width // 4, 100), 0)
        self.assertEqual(spread(starting, width // 4, height - 120, width // 2, 100), 0)
        # The message page replaces it; its text stays in the upper left.
        os.kill(backend, signal.SIGKILL)
        shell.wait_for_line("^" + LOADED + "$")
        message = self.screenshot_when(shell, window, "message.png",
                                       lambda png: spread(png, *self.centre(png)) == 0,
                                       "the indicator to go")
        self.assertGreater(spread(message, 0, 0, width // 2, height // 3), 0, "the message shows")
        self.assertEqual(shell.terminate(), 0)

    def screenshot_when(self, shell, window, name, condition, what):
        """Takes screenshots until one meets the condition, and returns it."""
        def take():
            png = self.screenshot(shell, window, name)
            return png if condition(png) else None
        return wait_for(take, 10, interval=0.2, what=what)

    @staticmethod
    def centre(png):
        width, height = window_size(png)
        return width // 2 - 120, height // 2 - 60, 240, 120

    def test_killed_page_process_comes_back_three_times_then_says_so(self):
        shell = self.start()
        shell.wait_for_line("^" + LOADED + HOME_TITLE + "$")
        # Without its network process the shell still loads the next page.
        os.kill(wait_for(lambda: engine_process(shell, "WebKitNetworkProcess"), 10,
                         what="the network process"), signal.SIGKILL)
        loads = len(shell.loaded_titles())
        click_restart(shell)
        wait_for(lambda: shell.loaded_titles()[loads:] == [HOME_TITLE], 60,
                 what="the restarted backend's page")

        killed = []
        for _ in range(3):
            loads = len(shell.loaded_titles())
            pid = wait_for(lambda: (lambda p: p if p not in killed else None)(
                engine_process(shell, "WebKitWebProcess")), 10, what="a new web process")
            os.kill(pid, signal.SIGKILL)
            killed.append(pid)
            wait_for(lambda: shell.loaded_titles()[loads:] == [HOME_TITLE], 30,
                     what="the page to come back")
        loads = len(shell.loaded_titles())
        os.kill(wait_for(lambda: (lambda p: p if p not in killed else None)(
            engine_process(shell, "WebKitWebProcess")), 10, what="a new web process"), signal.SIGKILL)
        wait_for(lambda: shell.loaded_titles()[loads:] == [""], 30, what="the message page")
        self.screenshot(shell, shell.window_id(), "repeated-crash.png")
        self.assertEqual(shell.terminate(), 0)

    def test_first_page_redirecting_to_another_port_shows_the_message_page(self):
        outside = RecordingServer(serve_pages=False)
        self.addCleanup(outside.close)
        shell = self.start({"SAMPLE_HOME_REDIRECT": outside.url + "login"})
        shell.wait_for_line("^" + LOADED + "$")
        self.screenshot(shell, shell.window_id(), "redirected.png")
        self.assertEqual(outside.requests, [])
        self.assertEqual(shell.loaded_titles(), [""])
        self.assertEqual(shell.terminate(), 0)

    def test_attachment_is_saved_and_the_page_stays(self):
        saved = os.path.join(self.homes.root, "export.csv")
        shell = self.start({"SAMPLE_HOME_REDIRECT": "/downloads.html?focus=export"})
        window = shell.window_id()
        shell.wait_for_line("^" + LOADED + "下载$")
        keys(window, "Return")
        save_as(shell, window, saved)
        wait_for(lambda: os.path.exists(saved) and os.path.getsize(saved) > 0, 10, what="the file")
        with open(saved, encoding="utf-8") as export:
            self.assertEqual(export.read(), "sample,value\nalpha,1\nbeta,2\n")
        self.assertEqual(shell.loaded_titles(), ["下载"], "the page stayed")
        self.assertEqual(shell_windows(shell), [window])
        self.assertEqual(shell.terminate(), 0)


if __name__ == "__main__":
    unittest.main()
