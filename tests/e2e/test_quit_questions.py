"""Quitting asks the page first, under xfwm4 with the local sample backend:
with unsaved notes on the sample's leave-page page, Ctrl+Q and closing the
window show the shell's leave-page question; 留下 keeps the shell and the
notes, 离开 quits. A page that does not answer does not hold the quit."""

import os
import unittest

from browser_support import (LOADED, close_window, keys, type_text, wait_for_dialog,
                             wait_for_no_dialog)
from desktops import XScreen
from harness import ShellTest, process_command_lines, process_tree, wait_for

SCREENSHOTS = os.environ.get("LUMIVANT_SCREENSHOTS")
LEAVE_PAGE = {"SAMPLE_HOME_REDIRECT": "/leave.html?focus=notes"}


def read_text(path):
    try:
        with open(path, encoding="utf-8", errors="replace") as text:
            return text.read()
    except FileNotFoundError:
        return ""


class QuitQuestionsTest(ShellTest):
    @classmethod
    def setUpClass(cls):
        cls.screen = XScreen("xfwm4")

    @classmethod
    def tearDownClass(cls):
        cls.screen.close()

    def start_with_notes(self):
        shell = self.start_shell(env=LEAVE_PAGE)
        window = shell.window_id()
        shell.wait_for_line("^" + LOADED + "离开页面$")
        type_text(window, "unsaved notes")
        # The shell's quit keys and the window manager's close go past the
        # keys still on their way to the page: the quit waits until the page
        # has the notes, as a user's would after reading them back.
        log = os.path.join(self.homes.data_root, "logs", "backend.log")
        wait_for(lambda: '"GET /noted ' in read_text(log), what="the page to have the notes")
        return shell, window

    def test_the_page_is_asked_before_quitting_and_staying_keeps_it(self):
        shell, window = self.start_with_notes()
        keys(window, "ctrl+q")
        question = wait_for_dialog(shell, window)
        if SCREENSHOTS:
            shell.screenshot(os.path.join(SCREENSHOTS, "quit-leave-question.png"))
        keys(question, "Escape")  # 留下
        wait_for_no_dialog(shell, window)
        self.assertIsNone(shell.process.poll(), "staying keeps the shell")

        # Closing the window asks the same; 离开, the default, quits.
        close_window(window)
        question = wait_for_dialog(shell, window)
        keys(question, "Return")
        self.assertEqual(shell.wait(20), 0)

    def test_a_page_that_does_not_answer_does_not_hold_the_quit(self):
        shell, window = self.start_with_notes()
        commands = process_command_lines()
        web_processes = [pid for pid in process_tree(shell.process.pid)
                         if os.path.basename((commands.get(pid) or [""])[0]) == "WebKitWebProcess"]
        self.assertTrue(web_processes)
        self.hold_still(*web_processes)  # hung: it runs no handler and answers nothing
        keys(window, "ctrl+q")
        self.assertEqual(shell.wait(20), 0)


if __name__ == "__main__":
    unittest.main()
