"""What the download tests share: a shell whose first page is the sample
backend's downloads page with one link focused, the save panel answered as a
user answers it (its question about replacing a file included), and a look
into the folder the file is saved in."""

import glob
import os
import subprocess
import time

from browser_support import (LOADED, keys, shell_windows, type_text, wait_for_dialog,
                             wait_for_no_dialog, window_title)
from desktops import XScreen
from harness import ShellTest, wait_for

SCREENSHOTS = os.environ.get("LUMIVANT_SCREENSHOTS")
# The hidden folder beside the chosen file that a download is written in.
PARTIAL_PREFIX = ".lumivant-download-"
# What the user's file holds before a download is saved over it.
USERS_DATA = os.urandom(256 * 1024)


def is_dialog(window):
    """Whether the window is a dialog, not a popup such as a completion list."""
    out = subprocess.run(["xprop", "-id", str(window), "_NET_WM_WINDOW_TYPE"],
                         capture_output=True, text=True).stdout
    return "_NET_WM_WINDOW_TYPE_DIALOG" in out


class DownloadTestCase(ShellTest):
    @classmethod
    def setUpClass(cls):
        cls.screen = XScreen("xfwm4")

    @classmethod
    def tearDownClass(cls):
        cls.screen.close()

    def setUp(self):
        self.saved = os.path.join(self.homes.root, "saved")
        os.makedirs(self.saved)

    def start_on(self, link, env=None, prefix=()):
        """A shell whose first page is the downloads page with that link focused."""
        shell = self.start_shell(
            prefix=prefix,
            env=dict(env or {}, SAMPLE_HOME_REDIRECT=f"/downloads.html?focus={link}"))
        window = shell.window_id()
        shell.wait_for_line("^" + LOADED + "下载$")
        return shell, window

    def users_file(self, name, mode=0o640):
        """A file of the user's in the saved folder; gives its path."""
        path = os.path.join(self.saved, name)
        with open(path, "wb") as users:
            users.write(USERS_DATA)
        os.chmod(path, mode)
        return path

    def download(self, shell, window, path):
        """Activates the focused link and saves as path, saying yes to
        replacing a file that stands there; gives path."""
        keys(window, "Return")
        panel = wait_for_dialog(shell, window)
        self.assertEqual(window_title(panel), "保存研究文件")
        keys(panel, "ctrl+a")
        type_text(panel, path)
        replacing = os.path.exists(path)

        def others():
            return [w for w in shell_windows(shell) if w not in (window, panel)]

        def saved_or_asked():
            """True once the panel has closed; the question whether to replace
            the file while it stands; None before either."""
            if panel not in shell_windows(shell):
                return True
            questions = [w for w in others() if is_dialog(w)] if replacing else []
            return questions[-1] if questions else None

        # The name field offers the names in the folder that match in a
        # completion popup, which takes an Enter for itself (it only accepts
        # the name typed): Enter again while only the popup stands.
        keys(panel, "Return")
        pressed = time.monotonic()

        def answered():
            outcome = saved_or_asked()
            if outcome:
                return outcome
            nonlocal pressed
            popup = [w for w in others() if not is_dialog(w)]
            if popup and time.monotonic() - pressed > 0.5:
                keys(panel, "Return")
                pressed = time.monotonic()
            return None
        question = wait_for(answered, what="the panel to save or to ask about replacing")
        if question is not True:
            # The panel asks before it lets a file be replaced: 替换, its default.
            keys(question, "Return")
        # What follows may be the failure alert already.
        wait_for(lambda: panel not in shell_windows(shell), what="the save panel to close")
        return path

    def left_behind(self, folder=None):
        return sorted(os.listdir(folder or self.saved))

    def partial_files(self, folder=None):
        """What the downloads under way write, in their hidden folders."""
        return glob.glob(os.path.join(folder or self.saved, PARTIAL_PREFIX + "*", "*"))

    def written(self, folder=None):
        """How much the downloads under way have written so far."""
        total = 0
        for partial in self.partial_files(folder):
            try:
                total += os.path.getsize(partial)
            except FileNotFoundError:
                pass  # the engine renamed it meanwhile
        return total

    def growing(self, folder=None):
        """Waits until the engine has written part of a download."""
        wait_for(lambda: self.written(folder) > 0, what="the download under way")

    def assert_users_file_as_it_was(self, path, mode=0o640):
        with open(path, "rb") as users:
            self.assertEqual(users.read(), USERS_DATA)
        self.assertEqual(os.stat(path).st_mode & 0o7777, mode)

    def failure_alert(self, shell, window, name):
        alert = wait_for_dialog(shell, window)
        if SCREENSHOTS:
            shell.screenshot(os.path.join(SCREENSHOTS, name))
        keys(alert, "Return")
        wait_for_no_dialog(shell, window)
