"""A backend that stays alive but never answers its readiness probe: after the
readiness time-out the shell says so on its message page, and leaves the
backend running by itself."""

import time
import unittest

from harness import Homes, Shell, wait_for
from test_startup import LOADED, shell_backends


class NeverReadyTest(unittest.TestCase):
    def test_message_page_after_the_readiness_timeout(self):
        homes = Homes()
        self.addCleanup(homes.remove)
        shell = Shell(homes, env={"SAMPLE_NEVER_READY": "1"})
        self.addCleanup(shell.kill)
        backend = wait_for(lambda: (shell_backends(shell) or [None])[0], 60, what="the backend child")
        started = time.monotonic()
        shell.wait_for_line("^" + LOADED + "$", timeout=180)
        waited = time.monotonic() - started
        self.assertGreaterEqual(waited, 115, "the shell waits out its readiness time-out")
        self.assertIn(backend, shell_backends(shell), "the unready backend is left running")
        self.assertEqual(shell.terminate(), 0)


if __name__ == "__main__":
    unittest.main()
