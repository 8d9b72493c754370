"""The embedded browser as a new user clicks through the sample pages, by
keyboard: outside links go to the system's handler and the page stays,
what may not leave does nothing, downloads are saved where chosen, the page's
dialogs and file picker are answered, and every finished load is logged."""

import os
import time
import unittest

from browser_support import (LOADED, RecordingServer, has_icon, install_url_recorder, keys,
                             recorded_urls, save_as, shell_windows, type_text, wait_for_dialog,
                             wait_for_no_dialog, window_title)
from harness import ShellTest, wait_for


class BrowserTest(ShellTest):
    def setUp(self):
        self.record = install_url_recorder(self.homes)

    def open(self, start_page, first_title):
        server = RecordingServer(start_page)
        self.addCleanup(server.close)
        server.use_as_organisation_server(self.homes)
        shell = self.start_shell()
        window = shell.window_id()
        shell.wait_for_line("^" + LOADED + first_title + "$")
        return shell, window

    def loads_after(self, shell, start):
        return [line[len(LOADED):] for line in shell.stderr_lines()[start:] if line.startswith(LOADED)]

    def quiet_moment(self):
        # Checking that nothing happens: give the shell a moment to do it.
        time.sleep(1.0)

    def test_outside_links_reach_the_system_and_what_may_not_leave_does_nothing(self):
        shell, window = self.open("/navigation.html?focus=https", "导航")
        start = len(shell.stderr_lines())
        keys(window, "Return")
        wait_for(lambda: recorded_urls(self.record) == ["https://example.org/research?q=1"],
                 what="the https link at the handler")
        # The shell hands over at most one address a second.
        for count in (2, 3):
            time.sleep(1.0)
            keys(window, "Tab", "Return")
            wait_for(lambda: len(recorded_urls(self.record)) == count,
                     what="the http and mailto links")
        self.assertEqual(recorded_urls(self.record)[1:],
                         ["http://example.org/plain", "mailto:lab@example.org?subject=hello"])
        # tel, then (skipping the two new-window links and window.open, which
        # has tests of its own) a script navigation and a form post to
        # outside addresses.
        keys(window, "Tab", "Return", "Tab", "Tab", "Tab", "Tab", "Return",
             "Tab", "Tab", "Return")
        self.quiet_moment()
        self.assertEqual(len(recorded_urls(self.record)), 3)
        self.assertEqual(self.loads_after(shell, start), [], "the page stayed where it was")

    def test_new_window_links_load_here_or_go_to_the_system(self):
        shell, window = self.open("/navigation.html?focus=blank-outside", "导航")
        keys(window, "Return")
        wait_for(lambda: recorded_urls(self.record) == ["https://example.org/blank"],
                 what="the outside new-window link at the handler")
        self.assertEqual(len(shell_windows(shell)), 1, "no second window")
        start = len(shell.stderr_lines())
        keys(window, "shift+Tab", "Return")
        shell.wait_for_line("^" + LOADED + "到达：blank$", start=start)
        self.assertEqual(len(shell_windows(shell)), 1, "loaded in the one window")

    def test_a_page_cannot_reach_another_origin(self):
        outside = RecordingServer(serve_pages=False)
        self.addCleanup(outside.close)
        shell, window = self.open(f"/navigation.html?target={outside.url}", "导航")
        shell.wait_for_line("^" + LOADED + "到达：escape-done$")
        self.assertEqual(outside.requests, [])
        self.assertEqual(recorded_urls(self.record), [], "script and form navigations are not clicks")

    def test_downloads_are_saved_where_chosen_and_cancelling_writes_nothing(self):
        saved = os.path.join(self.homes.root, "saved")
        os.makedirs(saved)
        shell, window = self.open("/downloads.html?focus=report", "下载")
        keys(window, "Return")
        save_as(shell, window, os.path.join(saved, "my-report.csv"))
        wait_for(lambda: os.path.exists(os.path.join(saved, "my-report.csv")), what="the report")
        with open(os.path.join(saved, "my-report.csv"), encoding="utf-8") as report:
            self.assertEqual(report.read(), "sample,value\nalpha,1\nbeta,2\n")

        keys(window, "Tab", "Return")
        wait_for_dialog(shell, window)
        keys(wait_for_dialog(shell, window), "Escape")
        wait_for_no_dialog(shell, window)
        self.quiet_moment()
        self.assertEqual(shell_windows(shell), [window], "no alert after cancelling")
        self.assertEqual(sorted(os.listdir(saved)), ["my-report.csv"])

        keys(window, "Return")
        save_as(shell, window, os.path.join(saved, "data.zip"))
        wait_for(lambda: os.path.getsize(os.path.join(saved, "data.zip")) > 0
                 if os.path.exists(os.path.join(saved, "data.zip")) else False, what="the zip")
        with open(os.path.join(saved, "data.zip"), "rb") as archive:
            self.assertEqual(archive.read(2), b"PK")

    def answer_dialog(self, shell, window, *names):
        dialog = wait_for_dialog(shell, window)
        keys(dialog, *names)
        wait_for_no_dialog(shell, window)

    def test_alert_and_confirm_answers_reach_the_page(self):
        shell, window = self.open("/dialogs.html?focus=alert", "对话框")
        keys(window, "Return")
        self.answer_dialog(shell, window, "Return")
        shell.wait_for_line("^" + LOADED + "提示已关闭$")

        start = len(shell.stderr_lines())
        keys(window, "Tab", "Tab", "Return")
        self.answer_dialog(shell, window, "Return")
        shell.wait_for_line("^" + LOADED + "确认：是$", start=start)

        start = len(shell.stderr_lines())
        keys(window, "Tab", "Tab", "Return")
        self.answer_dialog(shell, window, "Escape")
        shell.wait_for_line("^" + LOADED + "确认：否$", start=start)

    def screenshot(self, shell, name):
        where = os.environ.get("LUMIVANT_SCREENSHOTS")
        if where:
            shell.screenshot(os.path.join(where, name))

    def test_prompt_is_the_shells_own_and_answers_the_text_or_null(self):
        shell, window = self.open("/dialogs.html?focus=prompt", "对话框")
        keys(window, "Return")
        dialog = wait_for_dialog(shell, window)
        self.assertNotIn("127.0.0.1", window_title(dialog), "no address on the shell's dialog")
        self.assertTrue(has_icon(dialog), "dialogs carry the application's icon too")
        keys(dialog, "ctrl+a")
        type_text(dialog, "control-7")
        self.screenshot(shell, "prompt.png")
        keys(dialog, "Return")
        wait_for_no_dialog(shell, window)
        shell.wait_for_line("^" + LOADED + "输入：control-7$")
        self.screenshot(shell, "prompt-answered.png")

        # Tab, Tab reaches the second button, 取消; Escape closes the dialog.
        for cancel in (("Tab", "Tab", "space"), ("Escape",)):
            start = len(shell.stderr_lines())
            keys(window, "Tab", "Tab", "Tab", "Return")
            self.answer_dialog(shell, window, *cancel)
            shell.wait_for_line("^" + LOADED + "输入：null$", start=start)
        self.screenshot(shell, "prompt-cancelled.png")

        start = len(shell.stderr_lines())
        keys(window, "Tab", "Tab", "Tab", "Return")
        self.answer_dialog(shell, window, "Return")
        shell.wait_for_line("^" + LOADED + "输入：默认$", start=start)

    def test_leaving_a_page_with_unsaved_changes_asks_the_shells_question(self):
        shell, window = self.open("/leave.html?focus=notes", "离开页面")
        type_text(window, "draft")
        keys(window, "Tab", "Return")
        dialog = wait_for_dialog(shell, window)
        self.assertNotIn("127.0.0.1", window_title(dialog))
        self.screenshot(shell, "leave-page.png")
        start = len(shell.stderr_lines())
        keys(dialog, "Escape")  # as 留下: the page stays
        wait_for_no_dialog(shell, window)
        self.quiet_moment()
        self.assertEqual(self.loads_after(shell, start), [], "staying keeps the page")

        keys(window, "Return")
        self.answer_dialog(shell, window, "Return")  # 离开, the default
        shell.wait_for_line("^" + LOADED + "已离开$", start=start)

    def choose_file(self, shell, window, path):
        dialog = wait_for_dialog(shell, window)
        keys(dialog, "ctrl+l")  # the chooser's location field, as a keyboard user opens it
        type_text(dialog, path)
        keys(dialog, "Return")
        try:
            try:
                wait_for_no_dialog(shell, window, timeout=3.0)
            except AssertionError:
                # GTK's location field may take the first Return for its
                # completion list; a user presses it again.
                keys(dialog, "Return")
                wait_for_no_dialog(shell, window)
        except AssertionError:
            shell.screenshot(os.path.join(os.environ.get("LUMIVANT_SCREENSHOTS", self.homes.root),
                                          "file-chooser-left-open.png"))
            raise

    def test_file_picker_returns_the_chosen_file_or_none(self):
        chosen = os.path.join(self.homes.root, "notes.txt")
        with open(chosen, "w") as notes:
            notes.write("notes")
        shell, window = self.open("/dialogs.html?focus=one", "对话框")
        keys(window, "space")
        self.choose_file(shell, window, chosen)
        shell.wait_for_line("^" + LOADED + "文件：one：notes.txt$")

        start = len(shell.stderr_lines())
        keys(window, "Tab", "Tab", "Tab", "Tab", "space")
        self.answer_dialog(shell, window, "Escape")
        shell.wait_for_line("^" + LOADED + "文件：one：无$", start=start)

        start = len(shell.stderr_lines())
        keys(window, "Tab", "Tab", "Tab", "Tab", "Tab", "space")
        self.choose_file(shell, window, chosen)
        shell.wait_for_line("^" + LOADED + "文件：many：notes.txt$", start=start)

    def test_message_page_logs_the_prefix_with_an_empty_title(self):
        os.makedirs(self.homes.data_root, exist_ok=True)
        dead = RecordingServer()
        dead.close()  # nothing answers on its port any more
        with open(os.path.join(self.homes.data_root, "server.json"), "w") as server_file:
            server_file.write('{"url": "%s"}' % dead.url)
        shell = self.start_shell()
        shell.window_id()
        wait_for(lambda: LOADED.rstrip(" ") in "\n".join(shell.stderr_lines()), 30,
                 what="the message page's load line")
        self.assertIn(LOADED, shell.stderr_lines())


if __name__ == "__main__":
    unittest.main()
