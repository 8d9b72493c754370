"""A swapped-in shell that fails, however late, is rolled back and not tried
again: staged builds of the shell itself that hang inside gtk_init, crash 10 s
after their window, or never hear of the shell that relaunched them each leave,
within two launches, the previous shell's window with its page, and the next
launch does not swap the failed build in again."""

import json
import os
import signal
import subprocess
import unittest

from harness import ShellTest, copy_bundle, pids_running, wait_for

NEWER = "99.0.0"
PAGE_LOADED = "^shell: webview loaded: 示例研究台 · 首页$"
# The new shell has 20 s to show its window; a busy machine adds to it.
AFTER_THE_START_LIMIT = 90
NOT_AGAIN = f"SHELL-SWAP skip: payload {NEWER} 曾经失败，不再换入$"


def faulty_shell():
    path = os.environ.get("LUMIVANT_FAULTY_SHELL") or os.path.join(
        os.path.dirname(__file__), "..", "..", "build", "tests", "e2e", "faulty_shell")
    return os.path.abspath(path)


def alive(pid):
    try:
        with open(f"/proc/{pid}/stat") as stat:
            return stat.read().rsplit(")", 1)[1].split()[0] != "Z"
    except OSError:
        return False


def visible_window(pid):
    command = ["xdotool", "search", "--all", "--onlyvisible", "--pid", str(pid), "--name", "^Lumivant$"]
    return bool(subprocess.run(command, capture_output=True, text=True).stdout.split())


class ProbationTest(ShellTest):
    """A private bundle with the built shell, a data root whose payload stages
    the faulty build of the shell as a newer version, and whatever the test
    starts ended with it."""

    def setUp(self):
        self.bundle = os.path.join(self.homes.root, "bundle")
        self.executable = copy_bundle(self.bundle)
        with open(self.executable, "rb") as f:
            self.old_bytes = f.read()
        with open(faulty_shell(), "rb") as f:
            self.faulty_bytes = f.read()
        self.write_file(os.path.join(self.homes.data_root, "payload", NEWER, "extras", "shell", "linux",
                                     "Lumivant"), self.faulty_bytes)
        self.write_file(os.path.join(self.homes.data_root, "payload", "current.json"),
                        json.dumps({"version": NEWER}).encode())
        # Shells of a swap run detached from the one the test started, and
        # one that failed runs from a file that is no longer the executable.
        self.started = set()
        self.addCleanup(self.end_every_shell)

    @staticmethod
    def write_file(path, data):
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)

    def end_every_shell(self):
        for pid in self.started | set(pids_running(self.executable)):
            try:
                os.kill(pid, signal.SIGKILL)
            except ProcessLookupError:
                pass

    def start(self, fault=None, env=None):
        extra = dict(env or {})
        if fault:
            extra["LUMIVANT_TEST_FAULT"] = fault
        shell = self.start_shell(executable=self.executable, env=extra)
        self.started.add(shell.process.pid)
        return shell

    def new_shell_of(self, old):
        """The shell a swap relaunched, once it runs."""
        pid = wait_for(lambda: [p for p in pids_running(self.executable) if p != old.process.pid],
                       what="the relaunched shell")[0]
        self.started.add(pid)
        return pid

    def executable_holds(self):
        with open(self.executable, "rb") as f:
            return f.read()

    def expect_the_previous_shell_back(self):
        self.assertEqual(self.executable_holds(), self.old_bytes)
        self.assertEqual(os.stat(self.executable).st_mode & 0o777, 0o755)
        self.assertEqual(sorted(os.listdir(self.bundle)), ["Info.json", "Lumivant", "Resources"])

    def expect_it_keeps_running(self, shell):
        """The restored shell holds the data root: a later launch hands over
        to it and leaves, and it goes on with its window."""
        later = self.start()
        self.assertEqual(later.wait(30), 0)
        self.assertFalse(visible_window(later.process.pid))
        self.assertTrue(alive(shell.process.pid))
        self.assertTrue(visible_window(shell.process.pid))

    def expect_no_second_try(self):
        """The next launch shows the previous shell's page, and does not
        swap the failed build in again."""
        shell = self.start()
        shell.wait_for_line(PAGE_LOADED)
        shell.wait_for_line(NOT_AGAIN)
        self.assertFalse(any("SHELL-SWAP done" in line for line in shell.stderr_lines()))
        self.expect_the_previous_shell_back()
        self.assertEqual(shell.terminate(), 0)

    def test_a_shell_that_hangs_in_gtk_init_is_ended_and_the_swapping_shell_goes_on(self):
        old = self.start("hang-in-gtk-init")
        old.wait_for_line(f"SHELL-SWAP done: .* → {NEWER}，拉起新的自己$")
        hung = self.new_shell_of(old)
        old.wait_for_line("SHELL-SWAP failed, rolled back: the new shell did not start: it did not "
                          "say within 20 s that it showed its window; it was stopped$",
                          AFTER_THE_START_LIMIT)
        self.assertFalse(alive(hung))
        old.wait_for_line(PAGE_LOADED)
        self.expect_the_previous_shell_back()
        self.expect_it_keeps_running(old)
        self.assertEqual(old.terminate(), 0)
        self.expect_no_second_try()

    def test_a_shell_that_hangs_after_its_swapper_was_killed_is_ended_by_the_next_launch(self):
        old = self.start("hang-in-gtk-init")
        old.wait_for_line(f"SHELL-SWAP done: .* → {NEWER}，拉起新的自己$")
        hung = self.new_shell_of(old)
        old.kill()
        self.assertEqual(self.executable_holds(), self.faulty_bytes)

        # The next launch runs the faulty build: before it claims the data
        # root, which the hung shell holds, it ends that one at its limit and
        # starts the previous shell in its own place.
        after = self.start()
        after.wait_for_line(f"SHELL-SWAP failed, rolled back: the new shell \\(payload {NEWER}\\) "
                            f"failed in its probation: its launch as process {hung} did not show "
                            "its window within 20 s and was stopped$", AFTER_THE_START_LIMIT)
        self.assertFalse(alive(hung))
        after.wait_for_line(PAGE_LOADED)
        self.assertTrue(visible_window(after.process.pid))
        self.assertEqual(pids_running(self.executable), [after.process.pid])
        self.expect_the_previous_shell_back()
        self.assertEqual(after.terminate(), 0)
        self.expect_no_second_try()

    def test_a_shell_that_crashes_after_its_window_is_rolled_back_once_by_the_next_two_launches(self):
        old = self.start("crash-after-window")
        old.wait_for_line(f"SHELL-SWAP done: .* → {NEWER}，拉起新的自己$")
        crashing = self.new_shell_of(old)
        # It showed its window: the swapping shell has gone, its job done.
        self.assertEqual(old.wait(60), 0)
        wait_for(lambda: visible_window(crashing), 60, what="the new shell's window")
        wait_for(lambda: not alive(crashing), 60, what="the new shell's crash")
        self.assertEqual(self.executable_holds(), self.faulty_bytes)
        self.assertTrue(os.path.exists(self.executable + ".old"), "kept through the probation")

        # Two launches at once, of two data roots: one puts the previous
        # shell back, and both run it.
        other_root = os.path.join(self.homes.root, "other-data-root")
        first = self.start()
        second = self.start(env={"ORLATH_FRAMEWORK_HOME": other_root})
        for shell in (first, second):
            shell.wait_for_line(PAGE_LOADED)
            self.assertTrue(visible_window(shell.process.pid))
        rolled_back = [line for shell in (first, second) for line in shell.stderr_lines()
                       if "SHELL-SWAP failed" in line]
        self.assertEqual(len(rolled_back), 1, rolled_back)
        self.assertRegex(rolled_back[0], f"SHELL-SWAP failed, rolled back: the new shell \\(payload "
                                         f"{NEWER}\\) failed in its probation: its launch as process "
                                         f"{crashing} ended without quitting after its window showed$")
        self.assertEqual(sorted(pids_running(self.executable)),
                         sorted([first.process.pid, second.process.pid]))
        self.expect_the_previous_shell_back()
        self.assertEqual(second.terminate(), 0)
        self.assertEqual(first.terminate(), 0)
        self.expect_no_second_try()

    def test_a_shell_that_never_hears_of_its_swapper_is_rolled_back_by_it(self):
        old = self.start("lose-confirmation")
        old.wait_for_line(f"SHELL-SWAP done: .* → {NEWER}，拉起新的自己$")
        unconfirmed = self.new_shell_of(old)
        # It works: its page shows, and the previous shell stays beside it.
        old.wait_for_line(PAGE_LOADED)
        self.assertTrue(visible_window(unconfirmed))
        self.assertTrue(os.path.exists(self.executable + ".old"))
        # It never says so to the shell that relaunched it, which puts the
        # previous shell back at its limit, and shows its own page.
        old.wait_for_line("SHELL-SWAP failed, rolled back: the new shell did not start: it did not "
                          "say within 20 s that it showed its window; it was stopped$",
                          AFTER_THE_START_LIMIT)
        self.assertFalse(alive(unconfirmed))
        wait_for(lambda: len([line for line in old.stderr_lines() if line == PAGE_LOADED[1:-1]]) == 2,
                 60, what="the previous shell's page")
        self.expect_the_previous_shell_back()
        self.expect_it_keeps_running(old)
        self.assertEqual(old.terminate(), 0)
        self.expect_no_second_try()

    def test_a_launch_without_a_display_counts_neither_for_nor_against_the_new_shell(self):
        """A working new shell on probation; someone starts the app once from
        a remote shell with no display: that launch says why it cannot run,
        and the new shell stays in place."""
        old = self.start()  # without a fault the staged build is the shell itself
        old.wait_for_line(f"SHELL-SWAP done: .* → {NEWER}，拉起新的自己$")
        new = self.new_shell_of(old)
        self.assertEqual(old.wait(60), 0, "the new shell showed its window")
        wait_for(lambda: visible_window(new), 60, what="the new shell's window")
        os.kill(new, signal.SIGTERM)  # quits as from its menu
        wait_for(lambda: not alive(new), 30, what="the new shell's quit")

        remote = self.start(env={"DISPLAY": None, "WAYLAND_DISPLAY": None})
        self.assertEqual(remote.wait(30), 1)
        self.assertIn("lumivant：打不开显示，窗口无处可显示。", remote.stderr_lines())

        shell = self.start()
        shell.wait_for_line(PAGE_LOADED)
        self.assertEqual(self.executable_holds(), self.faulty_bytes, "the new shell stays")
        self.assertTrue(os.path.exists(self.executable + ".old"), "still on probation")
        self.assertFalse([line for line in shell.stderr_lines() if "SHELL-SWAP failed" in line])
        self.assertEqual(shell.terminate(), 0)


if __name__ == "__main__":
    unittest.main()
