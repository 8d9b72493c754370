"""However a backend ends (the shell quits, it asks for a restart, it never
became ready and the user closes the window), none of its processes is left:
not its plain children, not one in a session of its own that ignores SIGTERM,
not one that detached from a parent that ended."""

import os
import signal
import unittest

from browser_support import close_window
from harness import Homes, Shell, process_command_lines, process_home, processes_of, wait_for
from test_startup import HOME_TITLE, LOADED, click_restart, shell_backends

CHILDREN = {"SAMPLE_CHILDREN": "1"}


def state_of(pid):
    try:
        with open(f"/proc/{pid}/stat") as stat:
            return stat.read().rsplit(")", 1)[1].split()[0]
    except OSError:
        return None


def parent_of(pid):
    try:
        with open(f"/proc/{pid}/stat") as stat:
            return int(stat.read().rsplit(")", 1)[1].split()[1])
    except OSError:
        return None


class BackendTreeTest(unittest.TestCase):
    def setUp(self):
        self.homes = Homes()
        self.addCleanup(self.homes.remove)
        # A test that fails may leave the shell killed, and a killed shell
        # cannot end the children that ignore SIGTERM or detached.
        self.addCleanup(self.kill_sample_children)

    def kill_sample_children(self):
        for pid in self.sample_children():
            try:
                os.kill(pid, signal.SIGKILL)
            except ProcessLookupError:
                pass

    def start(self, env=None):
        shell = Shell(self.homes, env={**CHILDREN, **(env or {})})
        self.addCleanup(shell.kill)
        return shell

    def sample_children(self):
        return sorted(pid for pid, args in process_command_lines().items()
                      if "sample-child" in args and process_home(pid) == self.homes.home)

    def wait_for_tree(self, shell, other_than=()):
        """The backend and its three children, once all are up and the detached
        one has been handed to the shell (not to init) as its parent ended."""
        def find():
            backends = [pid for pid in shell_backends(shell) if pid not in other_than]
            children = [pid for pid in self.sample_children() if pid not in other_than]
            adopted = [pid for pid in children if parent_of(pid) == shell.process.pid]
            if len(backends) == 1 and len(children) == 3 and len(adopted) == 1:
                return backends + children
            return None
        return wait_for(find, 60, what="the backend and its three children")

    def assert_all_gone(self, pids):
        """Not running and not waiting as a zombie either; read at once, not waited for."""
        left = [(pid, state_of(pid)) for pid in pids if state_of(pid) is not None]
        self.assertEqual(left, [])

    def test_quitting_ends_the_whole_tree(self):
        shell = self.start()
        shell.wait_for_line("^" + LOADED + HOME_TITLE + "$")
        tree = self.wait_for_tree(shell)
        self.assertEqual(shell.terminate(), 0)
        # The shell waited for the tree before it exited.
        self.assertEqual([pid for pid in tree if state_of(pid) not in (None, "Z")], [])
        wait_for(lambda: not processes_of(self.homes), 10,
                 what=f"nothing of the shell's left running ({processes_of(self.homes)})")

    def test_restart_ends_the_old_tree_before_the_new_backend_starts(self):
        shell = self.start()
        shell.wait_for_line("^" + LOADED + HOME_TITLE + "$")
        old = self.wait_for_tree(shell)
        loads_before = len(shell.loaded_titles())
        click_restart(shell)
        wait_for(lambda: [pid for pid in shell_backends(shell) if pid not in old], 60,
                 what="the new backend")
        # The new backend exists, so the old tree must already be gone, reaped too.
        self.assert_all_gone(old)
        wait_for(lambda: len(shell.loaded_titles()) > loads_before, 60, what="the new backend's page")
        self.wait_for_tree(shell, other_than=old)
        self.assertEqual(shell.terminate(), 0)

    def test_closing_the_window_while_the_backend_never_becomes_ready_ends_its_tree(self):
        shell = self.start({"SAMPLE_NEVER_READY": "1"})
        tree = self.wait_for_tree(shell)
        self.assertEqual(shell.loaded_titles(), [], "still starting")
        close_window(shell.window_id())
        self.assertEqual(shell.wait(), 0)
        self.assertEqual([pid for pid in tree if state_of(pid) not in (None, "Z")], [])
        wait_for(lambda: not processes_of(self.homes), 10,
                 what=f"nothing of the shell's left running ({processes_of(self.homes)})")


if __name__ == "__main__":
    unittest.main()
