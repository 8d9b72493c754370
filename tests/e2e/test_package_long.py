"""The .deb installs, its desktop entry starts the shell, and its removal leaves
nothing behind; the .tar.gz runs wherever it is unpacked."""

import glob
import os
import shlex
import subprocess
import tarfile
import tempfile
import unittest

from harness import Homes, Shell

BUILD = os.environ.get("LUMIVANT_BUILD_DIR") or os.path.join(os.path.dirname(__file__), "..", "..", "build")
DESKTOP_ENTRY = "/usr/share/applications/lumivant.desktop"
HOME_TITLE = "示例研究台 · 首页"


def run(*command):
    return subprocess.run(command, check=True, capture_output=True, text=True).stdout


def entry_value(entry, key):
    with open(entry) as f:
        for line in f:
            if line.startswith(key + "="):
                return line[len(key) + 1:].strip()
    raise AssertionError(f"no {key} line")


class PackageTest(unittest.TestCase):
    def setUp(self):
        self.homes = Homes()
        self.addCleanup(self.homes.remove)

    def test_deb_installs_starts_from_its_desktop_entry_and_removes_cleanly(self):
        debs = sorted(glob.glob(os.path.join(BUILD, "lumivant_*.deb")))
        self.assertTrue(debs, "build the packages first (scripts/package.sh)")
        subprocess.run(["apt-get", "remove", "-y", "lumivant"], capture_output=True)
        run("apt-get", "install", "-y", os.path.abspath(debs[-1]))
        installed = [path for path in run("dpkg-query", "-L", "lumivant").split("\n") if path]
        try:
            run("desktop-file-validate", DESKTOP_ENTRY)
            command = shlex.split(entry_value(DESKTOP_ENTRY, "Exec"))
            self.assertEqual(command, ["lumivant"])
            shell = Shell(self.homes, executable=run("sh", "-c", "command -v " + command[0]).strip())
            self.addCleanup(shell.kill)
            shell.wait_for_line("^shell: webview loaded: " + HOME_TITLE + "$", timeout=90)
            wm_class = run("xprop", "-id", shell.window_id(), "WM_CLASS")
            self.assertIn('"' + entry_value(DESKTOP_ENTRY, "StartupWMClass") + '"', wm_class)
            self.assertEqual(shell.terminate(), 0)
        finally:
            run("apt-get", "remove", "-y", "lumivant")
        left = [path for path in installed
                if os.path.lexists(path) and not os.path.isdir(path)]
        self.assertEqual(left, [], "files of the package left after removal")
        self.assertFalse(os.path.exists("/opt/Lumivant"), "the bundle directory is gone")

    def test_tarball_runs_where_it_is_unpacked(self):
        archives = sorted(glob.glob(os.path.join(BUILD, "Lumivant-*-linux-x86_64.tar.gz")))
        self.assertTrue(archives, "build the packages first (scripts/package.sh)")
        where = tempfile.mkdtemp(prefix="lumivant-unpacked-", dir=self.homes.root)
        with tarfile.open(archives[-1]) as archive:
            archive.extractall(where)
        executables = glob.glob(os.path.join(where, "*", "Lumivant"))
        self.assertEqual(len(executables), 1, os.listdir(where))
        shell = Shell(self.homes, executable=executables[0])
        self.addCleanup(shell.kill)
        shell.wait_for_line("^shell: webview loaded: " + HOME_TITLE + "$", timeout=90)
        self.assertEqual(shell.terminate(), 0)


if __name__ == "__main__":
    unittest.main()
