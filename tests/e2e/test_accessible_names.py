"""The shell's own controls as a screen reader meets them, with the local
sample backend, read through the accessibility bus: a download row's progress
bar and 取消 button say which download they belong to, the find field says
what it searches, and 找不到 is a notification, which a screen reader speaks
as it shows wherever the focus is; so is a download's end, finished, failed
or cancelled."""

import os
import subprocess
import threading
import unittest

from browser_support import (LOADED, keys, save_as, type_text, wait_for_dialog,
                             wait_for_no_dialog)
from harness import ShellTest, wait_for
from read_back import SYSTEM_PYTHON, accessible, press

# Prints what a screen reader is told to speak as it shows: each notification
# of the given process that shows, by name, one a line.
_NOTIFICATIONS = r"""
import sys, gi
gi.require_version("Atspi", "2.0")
from gi.repository import Atspi

pid = int(sys.argv[1])

def shown(event):
    try:
        if (event.detail1 and event.source.get_role() == Atspi.Role.NOTIFICATION
                and event.source.get_process_id() == pid):
            print(event.source.get_name(), flush=True)
    except Exception:
        pass

listener = Atspi.EventListener.new(shown)
listener.register("object:state-changed:showing")
print("listening", flush=True)
Atspi.event_main()
"""


class Notifications:
    """What the shell announces, as a screen reader hears it, from now on."""

    def __init__(self, shell):
        self.heard = []
        self.process = subprocess.Popen([SYSTEM_PYTHON, "-c", _NOTIFICATIONS,
                                         str(shell.process.pid)],
                                        stdout=subprocess.PIPE, text=True)
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()
        wait_for(lambda: "listening" in self.heard, what="the listener registered")

    def _read(self):
        for line in self.process.stdout:
            self.heard.append(line.rstrip("\n"))

    def close(self):
        self.process.kill()
        self.process.wait()
        self.reader.join(5)
        self.process.stdout.close()

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

    def test_finished_failed_and_cancelled_downloads_are_announced(self):
        shell = self.start_shell(env=ACCESSIBLE)
        window = shell.window_id()
        shell.wait_for_line("^" + LOADED + "下载$", timeout=60)
        accessible(shell, "the window's widgets on the bus", role="frame")
        heard = Notifications(shell)
        self.addCleanup(heard.close)
        folder = self.homes.root

        def announced(text):
            wait_for(lambda: text in heard.heard, what=f"{text} announced (heard {heard.heard})")

        keys(window, "Tab", "Tab", "Tab", "Return")  # the 6 MB slow download, about 4 s
        save_as(shell, window, os.path.join(folder, "data.bin"))
        announced("下载完成：data.bin")
        # The focus stays on that link: three on is the one cut off after 2 of 6 MB.
        keys(window, "Tab", "Tab", "Tab", "Return")
        save_as(shell, window, os.path.join(folder, "cut.bin"))
        announced("下载失败：cut.bin")
        keys(wait_for_dialog(shell, window), "Return")  # the failure alert
        wait_for_no_dialog(shell, window)
        keys(window, "Tab", "Return")  # the 60 MB one, cancelled at its row
        save_as(shell, window, os.path.join(folder, "long.bin"))
        press(shell, "取消：正在下载 long.bin")
        announced("已取消下载：long.bin")
        self.assertEqual(shell.terminate(), 0)

if __name__ == "__main__":
    unittest.main()
