"""The built shell declares itself on a normal launch, and relaunches itself
into a newer, different shell staged in its payload."""

import ctypes
import hashlib
import json
import os
import shutil
import signal
import struct
import subprocess
import tempfile
import time
import unittest

from harness import (BUNDLE, EXECUTABLE, ShellTest, backend_processes, kill_everything_running,
                     pids_running, process_command_lines, wait_for)

IN_MOVED_TO = 0x00000080
IN_CLOSE_WRITE = 0x00000008
IN_NONBLOCK = 0o4000
IN_CLOEXEC = 0o2000000


class FileArrivals:
    """Counts, through inotify, how often a file is written or renamed into a directory."""

    def __init__(self, directory, name):
        self._libc = ctypes.CDLL(None, use_errno=True)
        self._fd = self._libc.inotify_init1(IN_NONBLOCK | IN_CLOEXEC)
        if self._fd < 0:
            raise OSError(ctypes.get_errno(), "inotify_init1")
        mask = IN_MOVED_TO | IN_CLOSE_WRITE
        if self._libc.inotify_add_watch(self._fd, directory.encode(), mask) < 0:
            raise OSError(ctypes.get_errno(), "inotify_add_watch")
        self._name = name
        self._count = 0

    def count(self):
        while True:
            try:
                data = os.read(self._fd, 65536)
            except BlockingIOError:
                return self._count
            offset = 0
            while offset < len(data):
                _, _, _, length = struct.unpack_from("iIII", data, offset)
                name = data[offset + 16:offset + 16 + length].rstrip(b"\0").decode()
                offset += 16 + length
                if name == self._name:
                    self._count += 1

    def close(self):
        os.close(self._fd)


def copy_whole_bundle(destination):
    """A private copy of the built bundle whose executable a swap may replace."""
    os.makedirs(destination)
    for name in os.listdir(BUNDLE):
        source = os.path.join(os.path.realpath(BUNDLE), name)
        target = os.path.join(destination, name)
        if name == "Resources":
            os.symlink(source, target)
        elif os.path.isdir(source):
            shutil.copytree(source, target, symlinks=True)
        else:
            shutil.copy2(source, target)
    return os.path.join(destination, "Lumivant")


def alive(pid):
    try:
        with open(f"/proc/{pid}/stat") as stat:
            return stat.read().rsplit(")", 1)[1].split()[0] != "Z"
    except OSError:
        return False


def has_window(pid):
    """Whether the process shows a window titled Lumivant. Only mapped windows
    count: GDK gives every process that opens the display an unmapped client
    leader window under the program's name."""
    command = ["xdotool", "search", "--all", "--onlyvisible", "--pid", str(pid), "--name", "^Lumivant$"]
    return bool(subprocess.run(command, capture_output=True, text=True).stdout.split())


def sha256_of(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


class DeclarationTest(ShellTest):
    def test_normal_launch_declares_the_running_shell_in_the_data_root(self):
        homes = self.homes
        shell = self.start_shell(homes)
        shell.window_id()
        path = os.path.join(homes.data_root, "shell.json")
        wait_for(lambda: os.path.exists(path), what="shell.json")
        with open(path) as f:
            declaration = json.load(f)
        executable = os.path.realpath(EXECUTABLE)
        self.assertEqual(declaration["path"], executable)
        self.assertEqual(declaration["platform"], "linux")
        self.assertIs(declaration["self_replace"], True)
        self.assertEqual(declaration["size"], os.path.getsize(executable))
        self.assertEqual(declaration["sha256"], sha256_of(executable))
        self.assertRegex(declaration["declared_at"], r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ$")
        self.assertEqual(shell.terminate(), 0)


class SelfUpdateTest(ShellTest):
    def setUp(self):
        self.bundle = os.path.join(tempfile.mkdtemp(prefix="lumivant-bundle-"), "Lumivant")
        self.addCleanup(shutil.rmtree, os.path.dirname(self.bundle), True)
        self.executable = copy_whole_bundle(self.bundle)
        self.addCleanup(kill_everything_running, self.executable)

    def stage_newer_shell(self):
        with open(os.path.join(self.bundle, "Info.json")) as f:
            own = json.load(f)["CFBundleShortVersionString"]
        newer = own + ".1"
        staged = os.path.join(self.homes.data_root, "payload", newer, "extras", "shell", "linux",
                              "Lumivant")
        os.makedirs(os.path.dirname(staged))
        # An ELF file with bytes after its end still runs, and hashes differently.
        with open(self.executable, "rb") as f:
            new_bytes = f.read() + b"\nstaged newer shell\n"
        with open(staged, "wb") as f:
            f.write(new_bytes)
        with open(os.path.join(self.homes.data_root, "payload", "current.json"), "w") as f:
            json.dump({"version": newer}, f)
        return own, newer, staged, new_bytes

    def test_newer_staged_shell_takes_over_through_a_relaunch(self):
        own, newer, staged, new_bytes = self.stage_newer_shell()
        with open(self.executable, "rb") as f:
            old_bytes = f.read()
        arrivals = FileArrivals(self.homes.data_root, "shell.json")
        self.addCleanup(arrivals.close)

        first = self.start_shell(executable=self.executable)
        first.wait_for_line(f"SHELL-SWAP done: {own} → {newer}，拉起新的自己$")
        done_seen = time.monotonic()

        # The second instance runs the new bytes. It inherited the first
        # one's standard error, so its lines arrive on the same pipe.
        second = wait_for(
            lambda: [p for p in pids_running(self.executable) if p != first.process.pid],
            what="the relaunched instance")[0]
        with open(self.executable, "rb") as f:
            self.assertEqual(f.read(), new_bytes)
        self.assertEqual(os.stat(self.executable).st_mode & 0o7777, 0o755)

        # The first instance builds nothing and leaves once the second said
        # its window shows; until then the previous shell stays beside it.
        first_had_window = False
        old_kept_while_first_ran = True
        while first.process.poll() is None and time.monotonic() - done_seen < 30:
            first_had_window = first_had_window or has_window(first.process.pid)
            # Looked at before the first is, so that its end cannot fall between.
            kept = os.path.exists(self.executable + ".old")
            if alive(first.process.pid):
                old_kept_while_first_ran &= kept
            time.sleep(0.05)
        self.assertEqual(first.process.poll(), 0, "the first instance terminates normally")
        self.assertFalse(first_had_window)
        self.assertTrue(old_kept_while_first_ran)
        self.assertTrue(has_window(second), "the second instance's window came first")

        # The second instance stops at the identical content once its backend
        # is ready; the previous shell stays beside it through its probation.
        first.wait_for_line("SHELL-SWAP skip: 载荷里的壳就是我$")
        with open(self.executable + ".old", "rb") as f:
            self.assertEqual(f.read(), old_bytes)
        with open(staged, "rb") as f:
            self.assertEqual(f.read(), new_bytes)

        # One instance is left, showing its page.
        first.wait_for_line("^shell: webview loaded: 示例研究台 · 首页$")
        self.assertEqual(pids_running(self.executable), [second])

        wait_for(lambda: arrivals.count() >= 1, what="the second instance's declaration")
        with open(os.path.join(self.homes.data_root, "shell.json")) as f:
            declaration = json.load(f)
        self.assertEqual(declaration["sha256"], hashlib.sha256(new_bytes).hexdigest())
        self.assertNotEqual(declaration["sha256"], hashlib.sha256(old_bytes).hexdigest())

        os.kill(second, signal.SIGTERM)
        wait_for(lambda: not alive(second), what="the second instance to stop")
        self.assertEqual(arrivals.count(), 1, "only the second instance declared itself")
        swap_lines = [line for line in first.stderr_lines() if "SHELL-SWAP" in line]
        # The done line of the first instance, then the second instance's skip
        # once its backend was ready (a shell that has yet to tell the shell
        # that relaunched it that it started does not look at the payload),
        # and its first clean launch of the three of its probation as it quit.
        self.assertEqual(len(swap_lines), 3, swap_lines)
        self.assertIn("SHELL-SWAP done: ", swap_lines[0])
        self.assertTrue(swap_lines[1].endswith("SHELL-SWAP skip: 载荷里的壳就是我"), swap_lines[1])
        self.assertTrue(swap_lines[2].endswith(f"SHELL-SWAP probation: payload {newer} 试用中，"
                                               "已正常退出 1 次（共需 3 次）"), swap_lines[2])
        self.assertRegex(swap_lines[0], r"^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} Lumivant\[\d+:[0-9a-f]+\] ")

    def test_swap_after_the_backend_became_ready_ends_with_one_instance_showing_its_page(self):
        # A backend slow to become ready leaves time to stage a shell after the
        # launch's own check: the check once the backend is ready swaps.
        first = self.start_shell(executable=self.executable, env={"SAMPLE_READY_DELAY": "2"})
        first.window_id()
        own, newer, _, new_bytes = self.stage_newer_shell()
        first.wait_for_line(f"SHELL-SWAP done: {own} → {newer}，拉起新的自己$")
        old_backend = backend_processes(homes=self.homes)
        self.assertEqual(len(old_backend), 1)
        port = process_command_lines()[old_backend[0]][-3]
        self.assertEqual(first.wait(15), 0, "the first instance terminates normally")

        # The relaunched instance (whose output arrives on the same pipe) shows
        # its page; it alone is left, with one backend, on the port kept.
        first.wait_for_line("^shell: webview loaded: 示例研究台 · 首页$")
        running = pids_running(self.executable)
        self.assertEqual(len(running), 1)
        self.assertTrue(has_window(running[0]))
        backends = backend_processes(homes=self.homes)
        self.assertEqual(len(backends), 1)
        self.assertNotEqual(backends, old_backend)
        self.assertEqual(process_command_lines()[backends[0]][-3], port)
        self.assertEqual([line for line in first.stderr_lines() if "webview loaded" in line],
                         ["shell: webview loaded: 示例研究台 · 首页"], "only the new instance loaded")
        os.kill(running[0], signal.SIGTERM)
        wait_for(lambda: not alive(running[0]), what="the relaunched instance to stop")


if __name__ == "__main__":
    unittest.main()
