"""The staged-shell swap on a file system that really fails, and with a payload
that is damaged or hostile: the executable in place stays whole and runnable."""

import hashlib
import json
import os
import signal
import subprocess
import tempfile
import unittest

from harness import BUNDLE, ShellTest, copy_bundle, kill_everything_running, pids_running, wait_for

NEWER = "99.0.0"


def sha256(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def stage_newer_shell(data_root, executable, mode=None):
    staged_dir = os.path.join(data_root, "payload", NEWER, "extras", "shell", "linux")
    os.makedirs(staged_dir)
    staged = os.path.join(staged_dir, "Lumivant")
    with open(executable, "rb") as source, open(staged, "wb") as target:
        target.write(source.read())
        target.write(b"\0newer build\0" * 64)
    with open(os.path.join(data_root, "payload", "current.json"), "w") as f:
        json.dump({"version": NEWER}, f)
    return staged


class BundleFixture(ShellTest):
    """A simulated user's data root, and private bundles the swap may change."""
    def setUp(self):
        os.makedirs(self.homes.data_root)

    def launch_and_quit(self, executable, prefix=()):
        """Runs the shell until its window is up, then quits it; returns its standard error."""
        shell = self.start_shell(executable=executable, prefix=list(prefix))
        shell.window_id(60)
        self.assertEqual(shell.terminate(), 0)
        return shell.stderr_lines()


class SwapFaultTest(BundleFixture):
    def test_full_file_system_fails_the_copy_and_keeps_the_executable(self):
        mount = tempfile.mkdtemp(prefix="lumivant-full-")
        self.addCleanup(os.rmdir, mount)
        size = os.path.getsize(os.path.join(BUNDLE, "Lumivant"))
        room = size + 4 * 1024 * 1024
        result = subprocess.run(["mount", "-t", "tmpfs", "-o", f"size={room}", "tmpfs", mount],
                                capture_output=True, text=True)
        if result.returncode != 0:
            self.skipTest(f"cannot mount a tmpfs here: {result.stderr.strip()}")
        self.addCleanup(subprocess.run, ["umount", "-l", mount])
        executable = copy_bundle(mount)
        digest = sha256(executable)
        stage_newer_shell(self.homes.data_root, executable)
        # Leave room for half of the new executable, so the copy fails part-way.
        free = os.statvfs(mount).f_bavail * os.statvfs(mount).f_frsize
        with open(os.path.join(mount, "filler"), "wb") as filler:
            filler.write(b"\0" * max(0, free - size // 2))

        lines = self.launch_and_quit(executable)
        self.assertTrue(any("SHELL-SWAP failed, rolled back: " in line for line in lines), lines[-10:])
        self.assertEqual(sha256(executable), digest)
        self.assertEqual(sorted(os.listdir(mount)), ["Info.json", "Lumivant", "Resources", "filler"])
        # Still runnable: the next launch fails the same way and opens its window again.
        lines = self.launch_and_quit(executable)
        self.assertTrue(any("SHELL-SWAP failed, rolled back: " in line for line in lines))
        self.assertEqual(sha256(executable), digest)

    def test_unreadable_payload_leaves_everything_as_it_was(self):
        bundle = os.path.join(self.homes.root, "bundle")
        executable = copy_bundle(bundle)
        digest = sha256(executable)
        staged = stage_newer_shell(self.homes.data_root, executable)
        payload = os.path.join(self.homes.data_root, "payload")
        # As root, permissions only bind once the override capabilities are gone.
        no_override = ["setpriv", "--bounding-set=-dac_override,-dac_read_search", "--"]
        for unreadable in (os.path.dirname(staged), payload):
            os.chmod(unreadable, 0)
            try:
                lines = self.launch_and_quit(executable, prefix=no_override)
            finally:
                os.chmod(unreadable, 0o755)
            self.assertFalse(any("SHELL-SWAP done" in line for line in lines))
            self.assertEqual(sha256(executable), digest)
            self.assertEqual(sorted(os.listdir(bundle)), ["Info.json", "Lumivant", "Resources"])


def visible_window(pid):
    command = ["xdotool", "search", "--all", "--onlyvisible", "--pid", str(pid), "--name", "^Lumivant$"]
    return bool(subprocess.run(command, capture_output=True, text=True).stdout.split())


class PayloadFixture(BundleFixture):
    """A private bundle whose executable a swap may replace, and a newer shell
    that would run."""

    def setUp(self):
        super().setUp()
        self.bundle = os.path.join(self.homes.root, "bundle")
        self.executable = copy_bundle(self.bundle)
        self.addCleanup(kill_everything_running, self.executable)
        with open(self.executable, "rb") as f:
            self.old_bytes = f.read()
        # A shell that would run, and differs from the one in place.
        self.newer_bytes = self.old_bytes + b"\0newer build\0"
        os.makedirs(os.path.join(self.homes.data_root, "payload", NEWER))

    def write(self, relative, data):
        path = os.path.join(self.homes.data_root, relative)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        return path

    def point_at(self, version):
        self.write("payload/current.json", json.dumps({"version": version}).encode())


def system_library(name):
    for directory in ("/lib/x86_64-linux-gnu", "/usr/lib/x86_64-linux-gnu", "/lib64", "/usr/lib64"):
        path = os.path.join(directory, name)
        if os.path.exists(path):
            return os.path.realpath(path)
    raise unittest.SkipTest(f"no {name} here")


class HostilePayloadTest(PayloadFixture):
    """Payloads that name a shell outside payload/, or a shell that could not
    start: the executable stays byte for byte what it was and starts."""

    def expect_untouched_and_starting(self, failure=None):
        lines = self.launch_and_quit(self.executable)
        with open(self.executable, "rb") as f:
            self.assertEqual(f.read(), self.old_bytes)
        self.assertEqual(sorted(os.listdir(self.bundle)), ["Info.json", "Lumivant", "Resources"])
        swap_lines = [line for line in lines if "SHELL-SWAP" in line]
        if failure:
            # The launch's check, and the one once the backend is ready if it
            # got that far; a shell that failed its trial is not tried again.
            self.assertIn(len(swap_lines), (1, 2), swap_lines)
            self.assertRegex(swap_lines[0], "SHELL-SWAP failed: " + failure)
            again = (f"SHELL-SWAP skip: payload {NEWER} 曾经失败，不再换入$"
                     if "did not run" in failure else "SHELL-SWAP failed: " + failure)
            for line in swap_lines[1:]:
                self.assertRegex(line, again)
        else:
            self.assertEqual(swap_lines, [])

    def test_a_version_that_leads_out_of_the_payload_is_ignored(self):
        self.write("x/extras/shell/linux/Lumivant", self.newer_bytes)
        self.point_at(NEWER + "/../../x")
        self.expect_untouched_and_starting()

    def test_a_version_cut_short_by_a_nul_is_ignored(self):
        # Cut at the NUL, the path would name the file y itself.
        self.write("y", self.newer_bytes)
        self.point_at(NEWER + "/../../y\0")
        self.expect_untouched_and_starting()

    def test_a_staged_shell_cut_short_is_refused(self):
        self.write(f"payload/{NEWER}/extras/shell/linux/Lumivant", self.newer_bytes[:4096])
        self.point_at(NEWER)
        self.expect_untouched_and_starting("refusing .*: it ends at byte 4096, but its")

    def test_a_staged_shell_that_is_a_link_is_refused(self):
        target = self.write("elsewhere", self.newer_bytes)
        staged = os.path.join(self.homes.data_root, "payload", NEWER, "extras", "shell", "linux", "Lumivant")
        os.makedirs(os.path.dirname(staged))
        os.symlink(target, staged)
        self.point_at(NEWER)
        self.expect_untouched_and_starting("refusing .*: it is a symbolic link")

    def test_a_staged_shell_larger_than_any_shell_is_refused_unread(self):
        staged = self.write(f"payload/{NEWER}/extras/shell/linux/Lumivant", self.newer_bytes)
        os.truncate(staged, 2 * 1024 ** 3)  # sparse: no disk, but seconds to read
        self.point_at(NEWER)
        self.expect_untouched_and_starting(
            "refusing .*: it is 2147483648 bytes long, more than the 512 MiB a shell may have$")

    # Whole ELF executables for this machine that cannot run as the shell:
    # each is tried before the swap.

    def stage(self, data):
        self.write(f"payload/{NEWER}/extras/shell/linux/Lumivant", data)
        self.point_at(NEWER)

    def test_a_shell_built_for_another_loader_is_refused(self):
        loader = b"/lib64/ld-linux-x86-64.so.2\0"
        self.assertEqual(self.old_bytes.count(loader), 1)
        self.stage(self.old_bytes.replace(loader, b"/lib64/ld-linux-x86-64.so.9\0"))
        self.expect_untouched_and_starting(
            "the staged shell did not run: it cannot be executed: No such file or directory$")

    def test_a_shared_library_is_refused(self):
        with open(system_library("libz.so.1"), "rb") as f:
            self.stage(f.read())
        self.expect_untouched_and_starting(
            "the staged shell did not run: it was killed by signal \\d+ \\(.*\\) and printed nothing$")

    def test_another_program_is_refused(self):
        with open("/usr/bin/true", "rb") as f:
            self.stage(f.read())
        self.expect_untouched_and_starting(
            "the staged shell did not run: it exited with status 0 and printed nothing$")


def rename_shim():
    path = os.environ.get("LUMIVANT_RENAME_SHIM") or os.path.join(
        os.path.dirname(__file__), "..", "..", "build", "tests", "e2e", "librename_kill_shim.so")
    return os.path.abspath(path)


def failing_shell():
    path = os.environ.get("LUMIVANT_FAILING_SHELL") or os.path.join(
        os.path.dirname(__file__), "..", "..", "build", "tests", "e2e", "failing_shell")
    return os.path.abspath(path)


class HandoverTest(PayloadFixture):
    """After the swap the old shell stays until the new one says it started."""

    def stage_failing_shell(self):
        with open(failing_shell(), "rb") as f:
            failing = f.read()
        self.write(f"payload/{NEWER}/extras/shell/linux/Lumivant", failing)
        self.point_at(NEWER)
        return failing

    def test_a_new_shell_that_fails_at_start_is_rolled_back_and_the_old_one_keeps_its_page(self):
        # Staged while the backend starts: the check once it is ready swaps,
        # with the window already up.
        shell = self.start_shell(executable=self.executable, env={"SAMPLE_READY_DELAY": "2"})
        shell.window_id(60)
        failing = self.stage_failing_shell()
        shell.wait_for_line(f"SHELL-SWAP done: .* → {NEWER}，拉起新的自己$")
        shell.wait_for_line("SHELL-SWAP failed, rolled back: the new shell did not start: "
                            "it exited with status 1 before it showed its window$")
        shell.wait_for_line("^shell: webview loaded: 示例研究台 · 首页$")
        self.assertIn("failing shell: gives up before its window", shell.stderr_lines())
        self.assertIsNone(shell.process.poll())
        self.assertTrue(shell.has_window())
        with open(self.executable, "rb") as f:
            self.assertEqual(f.read(), self.old_bytes)
        self.assertEqual(os.stat(self.executable).st_mode & 0o777, 0o755)
        self.assertEqual(sorted(os.listdir(self.bundle)), ["Info.json", "Lumivant", "Resources"])
        with open(os.path.join(self.homes.data_root, f"payload/{NEWER}/extras/shell/linux/Lumivant"),
                  "rb") as f:
            self.assertEqual(f.read(), failing)
        # The failed shell had taken its place on the session bus; it took it
        # back, so a later launch hands over to it instead of running beside it.
        later = self.start_shell(executable=self.executable)
        self.assertEqual(later.wait(30), 0)
        self.assertIsNone(shell.process.poll())
        self.assertEqual(shell.terminate(), 0)

    def test_a_kill_of_the_old_shell_while_it_waits_leaves_the_new_shell_that_starts(self):
        self.write(f"payload/{NEWER}/extras/shell/linux/Lumivant", self.newer_bytes)
        self.point_at(NEWER)
        # Killed as soon as the swap is logged, and killed once the new shell runs.
        for moment in ("swapped", "relaunched"):
            with open(self.executable + ".test-copy", "wb") as f:
                f.write(self.old_bytes)
            os.chmod(self.executable + ".test-copy", 0o755)
            os.replace(self.executable + ".test-copy", self.executable)
            old = self.start_shell(executable=self.executable)
            old.wait_for_line("SHELL-SWAP done: ")
            if moment == "relaunched":
                wait_for(lambda: [p for p in pids_running(self.executable) if p != old.process.pid],
                         what="the relaunched shell")
            os.kill(old.process.pid, signal.SIGKILL)
            self.assertEqual(old.wait(), -signal.SIGKILL)
            with open(self.executable, "rb") as f:
                self.assertEqual(f.read(), self.newer_bytes, moment)
            if not pids_running(self.executable):
                # Killed before the relaunch: the next start is the new shell's.
                started = self.start_shell(executable=self.executable)
            wait_for(lambda: any(visible_window(pid) for pid in pids_running(self.executable)),
                     60, what=f"a window from the new shell ({moment})")
            # Kept through the new shell's probation.
            with open(self.executable + ".old", "rb") as f:
                self.assertEqual(f.read(), self.old_bytes, moment)
            kill_everything_running(self.executable)
            wait_for(lambda: not pids_running(self.executable), what="the shells gone")


class KilledSwapTest(PayloadFixture):
    """On a file system without hard links, a swap killed at any of its renames
    leaves a whole executable, old or new, that starts."""

    def run_with_shim(self, number, when):
        shell = self.start_shell(executable=self.executable, env={
            "LD_PRELOAD": rename_shim(), "SHIM_RENAME_DIRECTORY": self.bundle,
            "SHIM_KILL_AT_RENAME": str(number), "SHIM_KILL_WHEN": when})
        status = shell.wait(60)
        kill_everything_running(self.executable)
        return status

    def expect_a_window_from_the_executable(self):
        # The old shell swaps and relaunches; the new one shows its window.
        shell = self.start_shell(executable=self.executable)
        wait_for(lambda: any(visible_window(pid) for pid in pids_running(self.executable)),
                 60, what="a window from the executable")
        kill_everything_running(self.executable)

    def test_a_swap_killed_at_each_rename_leaves_a_whole_shell_that_starts(self):
        staged = self.write(f"payload/{NEWER}/extras/shell/linux/Lumivant", self.newer_bytes)
        self.point_at(NEWER)
        killed = []
        finished = False
        number = 0
        while not finished:
            number += 1
            self.assertLess(number, 10, "the swap never finished")
            for when in ("before", "after"):
                # The old shell again, renamed into place: a shell killed a
                # moment ago may still hold the file that was there.
                fresh = self.executable + ".test-copy"
                with open(fresh, "wb") as f:
                    f.write(self.old_bytes)
                os.chmod(fresh, 0o755)
                os.replace(fresh, self.executable)
                # A new shell this test killed counts as one that crashed on
                # probation, and would not be swapped in again: each kill
                # starts from a ledger that knows of no swap.
                ledger = os.path.join(self.homes.xdg["XDG_STATE_HOME"], "Lumivant", "shell-swaps.json")
                if os.path.exists(ledger):
                    os.remove(ledger)
                status = self.run_with_shim(number, when)
                if status != -signal.SIGKILL:
                    # No rename numbered this high: the swap ran to its end.
                    self.assertEqual(status, 0)
                    with open(self.executable, "rb") as f:
                        self.assertEqual(f.read(), self.newer_bytes)
                    finished = True
                    break
                killed.append((number, when))
                self.assertTrue(os.path.exists(self.executable), f"killed {when} rename {number}")
                with open(self.executable, "rb") as f:
                    self.assertIn(f.read(), (self.old_bytes, self.newer_bytes),
                                  f"killed {when} rename {number}")
                self.assertEqual(os.stat(self.executable).st_mode & 0o777, 0o755)
                self.expect_a_window_from_the_executable()
        self.assertIn((1, "after"), killed, "the swap renames at least once")
        with open(staged, "rb") as f:
            self.assertEqual(f.read(), self.newer_bytes)


if __name__ == "__main__":
    unittest.main()
