"""The .deb depends on what the shell needs, installs, validates as a desktop
application, starts from its desktop entry with its icon and from its backend's
shipped bytecode, and its removal leaves nothing behind; the .tar.gz runs
wherever it is unpacked, with its icon."""

import glob
import os
import shlex
import subprocess
import tarfile
import tempfile
import unittest

from browser_support import has_icon
from harness import ShellTest

BUILD = os.environ.get("LUMIVANT_BUILD_DIR") or os.path.join(os.path.dirname(__file__), "..", "..", "build")
DESKTOP_ENTRY = "/usr/share/applications/lumivant.desktop"
METAINFO = "/usr/share/metainfo/org.lumivant.Lumivant.metainfo.xml"
HOME_TITLE = "示例研究台 · 首页"


def run(*command):
    return subprocess.run(command, check=True, capture_output=True, text=True).stdout


def validation_messages(entry):
    """What desktop-file-validate says of the entry: errors, warnings and hints."""
    done = subprocess.run(["desktop-file-validate", entry], capture_output=True, text=True)
    return done.returncode, (done.stdout + done.stderr).strip()


def entry_value(entry, key):
    with open(entry) as f:
        for line in f:
            if line.startswith(key + "="):
                return line[len(key) + 1:].strip()
    raise AssertionError(f"no {key} line")


class PackageTest(ShellTest):
    def test_deb_installs_starts_from_its_desktop_entry_and_removes_cleanly(self):
        debs = sorted(glob.glob(os.path.join(BUILD, "lumivant_*.deb")))
        self.assertTrue(debs, "build the packages first (scripts/package.sh)")
        depends = run("dpkg-deb", "--field", os.path.abspath(debs[-1]), "Depends")
        self.assertIn("fonts-noto-cjk | fonts-wqy-zenhei", depends, "a font for the Chinese texts")
        subprocess.run(["apt-get", "remove", "-y", "lumivant"], capture_output=True)
        run("apt-get", "install", "-y", os.path.abspath(debs[-1]))
        installed = [path for path in run("dpkg-query", "-L", "lumivant").split("\n") if path]
        try:
            self.assertEqual(validation_messages(DESKTOP_ENTRY), (0, ""))
            # What software centres show: the entry's metainfo, as installed.
            self.assertIn(METAINFO, installed)
            checked = subprocess.run(["appstreamcli", "validate", "--no-net", METAINFO],
                                     capture_output=True, text=True)
            self.assertEqual(checked.returncode, 0, checked.stdout + checked.stderr)
            with open(METAINFO, encoding="utf-8") as metainfo:
                described = metainfo.read()
            self.assertIn('<launchable type="desktop-id">lumivant.desktop</launchable>', described)
            self.assertIn('<summary xml:lang="zh-CN">', described)
            self.assertIn("<screenshot ", described)
            bytecode = [path for path in installed
                        if "/site-packages/app/__pycache__/" in path and path.endswith(".pyc")]
            self.assertTrue(any("/launcher." in path for path in bytecode), bytecode)
            python = "/opt/Lumivant/Resources/python/bin/python3"
            verbose = subprocess.run([python, "-B", "-v", "-c", "import app.launcher"],
                                     capture_output=True, text=True,
                                     env=dict(os.environ, PYTHONDONTWRITEBYTECODE="1")).stderr
            self.assertRegex(verbose, r"/app/__pycache__/launcher\.[^ ]*\.pyc matches ",
                             "the backend starts from the shipped bytecode")
            command = shlex.split(entry_value(DESKTOP_ENTRY, "Exec"))
            self.assertEqual(command, ["lumivant"])
            shell = self.start_shell(executable=run("sh", "-c", "command -v " + command[0]).strip())
            shell.wait_for_line("^shell: webview loaded: " + HOME_TITLE + "$", timeout=90)
            wm_class = run("xprop", "-id", shell.window_id(), "WM_CLASS")
            self.assertIn('"' + entry_value(DESKTOP_ENTRY, "StartupWMClass") + '"', wm_class)
            self.assertTrue(has_icon(shell.window_id()), "the window shows the application's icon")
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
        shell = self.start_shell(executable=executables[0])
        shell.wait_for_line("^shell: webview loaded: " + HOME_TITLE + "$", timeout=90)
        self.assertTrue(has_icon(shell.window_id()), "the bundle carries its icon")
        self.assertEqual(shell.terminate(), 0)


if __name__ == "__main__":
    unittest.main()
