"""A backend that stays alive but never answers its readiness probe: after the
readiness time-out the shell says so on its message page, with what its last
check got, and leaves the backend running by itself."""

import time
import unittest

from harness import ShellTest, wait_for
from read_back import page_text
from test_startup import LOADED, port_of, shell_backends


class NeverReadyTest(ShellTest):
    def test_message_page_after_the_readiness_timeout(self):
        homes = self.homes
        # A backend whose readiness address is missing, as after a renamed route.
        shell = self.start_shell(homes, env={"SAMPLE_PROBE_STATUS": "404"})
        backend = wait_for(lambda: (shell_backends(shell) or [None])[0], 60, what="the backend child")
        started = time.monotonic()
        shell.wait_for_line("^" + LOADED + "$", timeout=180)
        waited = time.monotonic() - started
        self.assertGreaterEqual(waited, 115, "the shell waits out its readiness time-out")
        self.assertIn(backend, shell_backends(shell), "the unready backend is left running")
        text = page_text(shell.window_id())
        self.assertTrue(text.startswith("没能启动\n"), text[:40])
        self.assertIn(f"后端起来了，但一直没有就绪。\n最后一次检查 http://127.0.0.1:{port_of(backend)}"
                      "/health/ready：HTTP 404\n\n", text)
        self.assertEqual(shell.terminate(), 0)


if __name__ == "__main__":
    unittest.main()
