"""The built shell opens its window, known to the desktop by its class and
icon, and quits through its termination path."""

import subprocess
import unittest

from browser_support import has_icon
from harness import ShellTest


class WindowLifecycleTest(ShellTest):
    def test_opens_one_window_titled_lumivant_and_sigterm_exits_cleanly(self):
        shell = self.start_shell()
        window = shell.window_id()
        self.assertIsNone(shell.process.poll(), "the shell keeps running with its window open")
        wm_class = subprocess.run(["xprop", "-id", window, "WM_CLASS"], capture_output=True,
                                  text=True).stdout
        self.assertIn('"lumivant", "Lumivant"', wm_class,
                      "the desktop entry's name and its StartupWMClass")
        self.assertTrue(has_icon(window), "the application's icon")
        self.assertEqual(shell.terminate(), 0)


if __name__ == "__main__":
    unittest.main()
