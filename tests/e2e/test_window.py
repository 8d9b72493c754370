"""The built shell opens its window and quits through its termination path."""

import unittest

from harness import Homes, Shell


class WindowLifecycleTest(unittest.TestCase):
    def setUp(self):
        self.homes = Homes()
        self.addCleanup(self.homes.remove)

    def test_opens_one_window_titled_lumivant_and_sigterm_exits_cleanly(self):
        shell = Shell(self.homes)
        self.addCleanup(shell.kill)
        shell.window_id()
        self.assertIsNone(shell.process.poll(), "the shell keeps running with its window open")
        self.assertEqual(shell.terminate(), 0)


if __name__ == "__main__":
    unittest.main()
