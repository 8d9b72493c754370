"""A page's requests as a user meets them, with the local sample backend: the
page asks to show notifications and for the location; the shell asks the user
once per data root in a sheet "允许" / "不允许", the answer is kept for the
next launch, and an allowed notification reaches the desktop's notification
service under the app's name and icon."""

import json
import os
import subprocess
import unittest

from browser_support import LOADED, keys, shell_windows, wait_for_dialog, wait_for_no_dialog
from desktops import XScreen
from harness import BUNDLE, ShellTest, wait_for
from read_back import SYSTEM_PYTHON, accessible, press

DAEMON = os.path.join(os.path.dirname(__file__), "notification_daemon.py")
# The home page sends the permissions page, with the focus on its first button.
ENV = {"SAMPLE_HOME_REDIRECT": "/permissions.html?focus=notify", "NO_AT_BRIDGE": "0"}


def permission_file(homes):
    return os.path.join(homes.xdg["XDG_STATE_HOME"], "Lumivant", "page-permissions.json")


class PagePermissionsTest(ShellTest):
    # A window manager, as on a desktop: the inspector and the question are
    # windows it manages beside the main one.
    @classmethod
    def setUpClass(cls):
        cls.screen = XScreen("xfwm4")

    @classmethod
    def tearDownClass(cls):
        cls.screen.close()

    def start_notification_service(self):
        """The desktop's notification service on the tests' session bus; gives
        the file its Notify calls are recorded in, one JSON object a line."""
        record = os.path.join(self.homes.root, "notifications.jsonl")
        service = subprocess.Popen([SYSTEM_PYTHON, DAEMON, record], stdout=subprocess.PIPE,
                                   stdin=subprocess.DEVNULL)

        def stop():
            service.terminate()
            service.wait(10)
            service.stdout.close()
        self.addCleanup(stop)
        self.assertEqual(service.stdout.readline().strip(), b"ready")
        return record

    def notifications(self, record):
        try:
            with open(record) as lines:
                return [json.loads(line) for line in lines]
        except FileNotFoundError:
            return []

    def then(self, shell, window, key, title):
        start = len(shell.stderr_lines())
        keys(window, key)
        return start, title

    def result(self, shell, start, title):
        return shell.wait_for_line("^" + LOADED + title + "$", start=start)

    def ask(self, shell, window, question):
        """Presses Return on the focused button and gives the question's sheet."""
        start = len(shell.stderr_lines())
        keys(window, "Return")
        dialog = wait_for_dialog(shell, window)
        accessible(shell, f"the question {question}", role="label", name=question)
        return start, dialog

    def test_questions_are_asked_once_per_data_root_and_notifications_reach_the_desktop(self):
        record = self.start_notification_service()
        shell = self.start_shell(env=ENV)
        window = shell.window_id()
        shell.wait_for_line("^" + LOADED + "权限$")

        start, dialog = self.ask(shell, window, "允许这个应用显示通知吗？")
        where = os.environ.get("LUMIVANT_SCREENSHOTS")
        if where:
            shell.screenshot(os.path.join(where, "permission-question.png"))
        self.assertEqual(self.notifications(record), [], "nothing before the answer")
        keys(dialog, "Return")  # 允许, the first button
        wait_for_no_dialog(shell, window)
        self.result(shell, start, "通知：granted")
        shown = wait_for(lambda: self.notifications(record), what="the desktop notification")
        self.assertEqual(len(shown), 1)
        self.assertEqual(shown[0]["summary"], "计算完成")
        self.assertEqual(shown[0]["body"], "第 3 批样本已分析")
        self.assertEqual(shown[0]["app_name"], "Lumivant")
        # GLib sends the icon as the notification's image, in its "image-path" hint.
        self.assertEqual(os.path.realpath(shown[0]["hints"]["image-path"]),
                         os.path.realpath(os.path.join(BUNDLE, "Resources", "lumivant.svg")))

        # The location, answered "不允许"; the page hears it as the user's no.
        start, dialog = self.ask(shell, window, "允许这个应用获取你的位置吗？")
        press(shell, "不允许")
        wait_for_no_dialog(shell, window)
        self.result(shell, start, "位置：不允许")
        with open(permission_file(self.homes)) as kept:
            self.assertEqual(list(json.load(kept).values()),
                             [{"notifications": True, "location": False}])
        self.assertEqual(shell.terminate(), 0)

        # The next launch asks nothing and answers as the user did.
        shell = self.start_shell(env=ENV)
        window = shell.window_id()
        shell.wait_for_line("^" + LOADED + "权限$")
        start = len(shell.stderr_lines())
        keys(window, "Return")
        self.result(shell, start, "通知：granted")
        wait_for(lambda: len(self.notifications(record)) == 2, what="the second notification")
        start = len(shell.stderr_lines())
        keys(window, "Return")
        self.result(shell, start, "位置：不允许")
        self.assertEqual(shell_windows(shell), [window], "no question this time")
        self.assertEqual(shell.terminate(), 0)


if __name__ == "__main__":
    unittest.main()
