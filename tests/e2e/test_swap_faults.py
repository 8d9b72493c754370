"""The staged-shell swap on a file system that really fails: the executable in
place stays whole and runnable, with nothing left beside it."""

import hashlib
import json
import os
import shutil
import subprocess
import tempfile
import unittest

from harness import BUNDLE, Homes, Shell

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


class SwapFaultTest(unittest.TestCase):
    def setUp(self):
        self.homes = Homes()
        self.addCleanup(self.homes.remove)
        os.makedirs(self.homes.data_root)

    def make_bundle(self, directory):
        os.makedirs(os.path.join(directory, "Resources"), exist_ok=True)
        shutil.copy2(os.path.join(BUNDLE, "Lumivant"), directory)
        shutil.copy2(os.path.join(BUNDLE, "Info.json"), directory)
        os.symlink(os.path.join(BUNDLE, "Resources", "python"), os.path.join(directory, "Resources", "python"))
        return os.path.join(directory, "Lumivant")

    def launch_and_quit(self, executable, prefix=()):
        """Runs the shell until its window is up, then quits it; returns its standard error."""
        shell = Shell(self.homes, executable=executable, prefix=list(prefix))
        self.addCleanup(shell.kill)
        shell.window_id(60)
        self.assertEqual(shell.terminate(), 0)
        return shell.stderr_lines()

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
        executable = self.make_bundle(mount)
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
        executable = self.make_bundle(bundle)
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


if __name__ == "__main__":
    unittest.main()
