"""Windows that a page opens from script on the user's click, and hand-overs
to the system, as a user meets them: w = window.open('') then w.location =
an attachment ends in the save panel, = a page of the application loads in
the one window, = an outside address reaches the system's handler; a window
opened without a click does nothing; a page that clicks an outside link on
every key opens the handler once; and an address no handler opens is
reported on the window. The shell never shows a second window."""

import os
import time
import unittest

from browser_support import (LOADED, install_url_recorder, keys, recorded_urls,
                             save_as, shell_windows, type_text, wait_for_dialog,
                             wait_for_no_dialog)
from harness import ShellTest, wait_for

TITLE = "新窗口"


class OpenedWindowsTest(ShellTest):
    def open(self, start_page, first_title=TITLE):
        # The sample backend itself, for its attachments; its home page sends
        # the shell on to start_page.
        shell = self.start_shell(env={"SAMPLE_HOME_REDIRECT": start_page})
        window = shell.window_id()
        shell.wait_for_line("^" + LOADED + first_title + "$")
        return shell, window

    def quiet_moment(self):
        # Checking that nothing more happens: give the shell a moment to do it.
        time.sleep(1.5)

    def test_a_clicked_script_window_saves_an_attachment_loads_a_page_or_hands_over(self):
        record = install_url_recorder(self.homes)
        shell, window = self.open("/windows.html?focus=open-export")
        saved = os.path.join(self.homes.root, "exported.csv")
        keys(window, "Return")
        save_as(shell, window, saved)
        wait_for(lambda: os.path.exists(saved), what="the exported report")
        with open(saved, encoding="utf-8") as report:
            self.assertEqual(report.read(), "sample,value\nalpha,1\nbeta,2\n")
        self.assertEqual(shell_windows(shell), [window], "the stand-in is never shown")

        # Two quick clicks, each a hand-over of its own.
        keys(window, "Tab", "Tab", "Return")
        keys(window, "Tab", "Return")
        wait_for(lambda: sorted(recorded_urls(record)) == ["https://example.org/direct",
                                                           "https://example.org/opened"],
                 what="both outside addresses at the handler, window.open(url) too")

        # Given its address only after a while, as Jupyter's New does.
        start = len(shell.stderr_lines())
        keys(window, "shift+Tab", "shift+Tab", "Return")
        shell.wait_for_line("^" + LOADED + "到达：opened$", start=start)
        self.assertEqual(shell_windows(shell), [window])

    def test_a_window_opened_without_a_click_does_nothing(self):
        record = install_url_recorder(self.homes)
        shell, window = self.open("/windows.html?popup=1", "不请自来的窗口没有")
        self.quiet_moment()
        self.assertEqual(recorded_urls(record), [])
        self.assertEqual(shell_windows(shell), [window])

    def test_a_page_clicking_an_outside_link_on_every_key_opens_the_handler_once(self):
        record = install_url_recorder(self.homes)
        shell, window = self.open("/windows.html?focus=flood")
        type_text(window, "abcde")
        wait_for(lambda: recorded_urls(record), what="the first hand-over")
        self.quiet_moment()
        self.assertEqual(recorded_urls(record), ["https://example.org/flood"])
        # A second later the next key is a hand-over of its own again.
        type_text(window, "f")
        wait_for(lambda: len(recorded_urls(record)) == 2, what="the next key's hand-over")

    def test_an_address_the_system_cannot_open_is_reported_on_the_window(self):
        # The user's default browser is a desktop file whose program is gone,
        # which GIO passes over: no handler is left for https.
        applications = os.path.join(self.homes.xdg["XDG_DATA_HOME"], "applications")
        os.makedirs(applications)
        os.makedirs(self.homes.xdg["XDG_CONFIG_HOME"], exist_ok=True)
        with open(os.path.join(applications, "gone-browser.desktop"), "w") as desktop:
            desktop.write("[Desktop Entry]\nType=Application\nName=Gone\n"
                          "Exec=/nonexistent/browser %u\nMimeType=x-scheme-handler/https;\n")
        with open(os.path.join(self.homes.xdg["XDG_CONFIG_HOME"], "mimeapps.list"), "w") as apps:
            apps.write("[Default Applications]\nx-scheme-handler/https=gone-browser.desktop\n")
        shell, window = self.open("/windows.html?focus=open-outside")
        keys(window, "Return")
        dialog = wait_for_dialog(shell, window)
        shots = os.environ.get("LUMIVANT_SCREENSHOTS")
        if shots:
            shell.screenshot(os.path.join(shots, "hand-over-failed.png"))
        keys(dialog, "Return")
        wait_for_no_dialog(shell, window)


if __name__ == "__main__":
    unittest.main()
