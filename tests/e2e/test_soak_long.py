"""Soak: many backend restarts in one run, and many launches of the shell.

Logs the number of processes, the shell's open descriptors and its resident
memory along the way, and fails when they grow from start to end.
"""

import os
import sys
import unittest

from browser_support import keys
from harness import Shell, ShellTest, backend_processes, process_tree, processes_of, wait_for
from test_startup import HOME_TITLE, LOADED, click_exit_one, click_restart, shell_backends

RESTARTS = int(os.environ.get("SOAK_RESTARTS", "500"))
LAUNCHES = int(os.environ.get("SOAK_LAUNCHES", "500"))


def rss_kib(pid):
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


class SoakTest(ShellTest):
    def test_restarts_in_one_run_stay_flat(self):
        shell = self.start_shell()
        window = shell.window_id()
        shell.wait_for_line("^" + LOADED + HOME_TITLE + "$")
        backend = wait_for(lambda: (shell_backends(shell) or [None])[0], 60, what="a backend")
        samples = []
        for round_number in range(1, RESTARTS + 1):
            loads = len(shell.loaded_titles())
            # Every fifth restart is the user's, from the page of a backend
            # that exited: the shell restarts a backend by itself only so
            # often a minute.
            by_user = round_number % 5 == 0
            if by_user:
                click_exit_one(shell)
                wait_for(lambda: shell.loaded_titles()[loads:] == [""], 30, what="the exit's page")
                keys(window, "F5")
            else:
                click_restart(shell)
            backend = wait_for(lambda: ([p for p in shell_backends(shell) if p != backend] or [None])[0],
                               60, what="the next backend")
            wait_for(lambda: len(shell.loaded_titles()) > loads + by_user, 60, what="the next page")
            if round_number % 50 == 0:
                sample = (round_number, len(process_tree(shell.process.pid)),
                          len(os.listdir(f"/proc/{shell.process.pid}/fd")),
                          rss_kib(shell.process.pid))
                samples.append(sample)
                print("restart %4d: shell's processes %d, shell fds %d, shell RSS %d KiB" % sample,
                      file=sys.stderr)
        self.assertEqual(len(shell_backends(shell)), 1)
        self.assertEqual(shell.loaded_titles().count(""), RESTARTS // 5,
                         "a message page showed between restarts")
        first, last = samples[0], samples[-1]
        self.assertEqual(last[1], first[1], "the shell's processes grow")
        self.assertLessEqual(last[2], first[2] + 5, "descriptors grow")
        self.assertLess(last[3], first[3] * 1.5, "resident memory grows")
        self.assertEqual(shell.terminate(), 0)

    def test_launches_leave_nothing_behind(self):
        baseline = None
        for launch in range(1, LAUNCHES + 1):
            shell = Shell(self.homes)
            try:
                shell.wait_for_line("^" + LOADED + HOME_TITLE + "$")
                rss = rss_kib(shell.process.pid)
                self.assertEqual(shell.terminate(), 0)
            finally:
                shell.kill()
            # Nothing of this launch is left: no backend, and no bus or helper
            # that the shell or its engine started for itself.
            wait_for(lambda: not processes_of(self.homes), 10,
                     what=f"no process of the user's left after the shell quit ({processes_of(self.homes)})")
            if launch == 1 or launch % 50 == 0:
                sample = (launch, len(backend_processes(homes=self.homes)), rss)
                print("launch %4d: backends left %d, shell RSS after load %d KiB" % sample, file=sys.stderr)
                if baseline is None:
                    baseline = sample
                self.assertEqual(sample[1], 0, "backends left behind")
                self.assertLess(sample[2], baseline[2] * 1.5, "resident memory at load grows")


if __name__ == "__main__":
    unittest.main()
