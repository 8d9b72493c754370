"""Website data belongs to one data root, with the local sample backend: a
cookie and a localStorage value saved under one data root are there at its
next launch and never under another data root, though both backends serve
127.0.0.1 and cookies ignore the port. The store that every data root shared
before stays with the data root that is launched first after the upgrade."""

import os
import shutil
import unittest

from browser_support import LOADED, keys
from harness import ShellTest

STORAGE_PAGE = "/storage.html?focus=save"
NOTHING = "存储：无；Cookie：无"
SAVED = "存储：记住了；Cookie：饼干"


class WebsiteDataTest(ShellTest):
    def setUp(self):
        self.other_root = os.path.join(self.homes.root, "other-root")
        self.store = os.path.join(self.homes.xdg["XDG_DATA_HOME"], "Lumivant")

    def storage_page(self, data_root=None):
        """Starts a shell on the storage page; gives it, its window and what the page shows."""
        env = {"SAMPLE_HOME_REDIRECT": STORAGE_PAGE}
        if data_root:
            env["ORLATH_FRAMEWORK_HOME"] = data_root
        shell = self.start_shell(env=env)
        window = shell.window_id()
        shown = shell.wait_for_line("^" + LOADED + "存储：")[len(LOADED):]
        return shell, window, shown

    def save_and_quit(self, shell, window):
        start = len(shell.stderr_lines())
        keys(window, "Return")  # the save button, which reloads the page
        shell.wait_for_line("^" + LOADED + SAVED + "$", start=start)
        self.assertEqual(shell.terminate(), 0)

    def seen_under(self, data_root=None):
        shell, _, shown = self.storage_page(data_root)
        self.assertEqual(shell.terminate(), 0)
        return shown

    def test_two_data_roots_never_see_each_others_cookies(self):
        shell, window, shown = self.storage_page()
        self.assertEqual(shown, NOTHING)
        self.save_and_quit(shell, window)
        self.assertEqual(self.seen_under(self.other_root), NOTHING)
        shell, window, _ = self.storage_page(self.other_root)
        self.save_and_quit(shell, window)
        self.assertEqual(self.seen_under(), SAVED)

    def test_the_store_of_before_the_upgrade_stays_with_the_data_root_launched_first(self):
        shell, window, _ = self.storage_page()
        self.save_and_quit(shell, window)
        # What an earlier version left: one store at the top of the shell's
        # data directory, shared by every data root.
        own_stores = os.path.join(self.store, "data-roots")
        (own,) = os.listdir(own_stores)
        for entry in os.listdir(os.path.join(own_stores, own)):
            shutil.move(os.path.join(own_stores, own, entry), self.store)
        shutil.rmtree(own_stores)

        self.assertEqual(self.seen_under(), SAVED)
        self.assertEqual(self.seen_under(self.other_root), NOTHING)
        self.assertEqual(self.seen_under(), SAVED)


if __name__ == "__main__":
    unittest.main()
