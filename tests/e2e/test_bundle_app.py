"""An author's second app, bundled as the guide says: the Flask example with a
library of the group's own from a folder of wheels, no package index, and
Debian's Flask; the bundle is run as a user runs it, its page seen, the
readiness probe kept out of Werkzeug's log. A bundle that cannot be made
leaves the previous one as it was."""

import glob
import os
import shutil
import subprocess
import unittest

from browser_support import LOADED
from harness import BUNDLE, ShellTest
from read_back import SYSTEM_PYTHON

ROOT = os.path.join(os.path.dirname(__file__), "..", "..")
SCRIPT = os.path.join(ROOT, "scripts", "bundle-app.sh")
EXAMPLE = os.path.join(ROOT, "examples", "flask")


def has_flask():
    return subprocess.run([SYSTEM_PYTHON, "-c", "import flask"], capture_output=True).returncode == 0


@unittest.skipUnless(has_flask(), "Debian's python3-flask is not installed (scripts/setup.sh)")
class BundleAppTest(ShellTest):
    def wheels(self):
        """The group's library as a wheel, built offline from a copy of its source."""
        source = os.path.join(self.homes.root, "labunits")
        shutil.copytree(os.path.join(EXAMPLE, "labunits"), source)
        wheels = os.path.join(self.homes.root, "wheels")
        subprocess.run([SYSTEM_PYTHON, "-m", "pip", "wheel", "--quiet", "--no-deps", "--no-index",
                        "--no-build-isolation", "--wheel-dir", wheels, source], check=True)
        return wheels

    def bundle(self, out, requirements, wheels):
        return subprocess.run(
            [SCRIPT, "--app", os.path.join(EXAMPLE, "app"), "--name", "样本登记", "--out", out,
             "--requirements", requirements, "--wheels", wheels, "--system-site-packages",
             "--shell", BUNDLE], capture_output=True, text=True)

    def test_the_flask_example_bundled_from_wheels_shows_its_page(self):
        out = os.path.join(self.homes.root, "Samples")
        made = self.bundle(out, os.path.join(EXAMPLE, "requirements.txt"), self.wheels())
        self.assertEqual(made.returncode, 0, made.stderr)
        # Every user may run it, as from /opt.
        self.assertEqual(os.stat(out).st_mode & 0o777, 0o755)

        env = {"LUMIVANT_SAMPLES_DIR": os.path.join(self.homes.root, "samples")}
        shell = self.start_shell(executable=os.path.join(out, "Lumivant"), env=env)
        shell.window_id()
        shell.wait_for_line("^" + LOADED + "样本登记$")
        where = os.environ.get("LUMIVANT_SCREENSHOTS")
        if where:
            shell.screenshot(os.path.join(where, "flask-app.png"))
        self.assertEqual(shell.terminate(), 0)
        with open(os.path.join(self.homes.data_root, "logs", "backend.log")) as log:
            text = log.read()
        self.assertIn('"GET / HTTP/1.1" 200', text)
        self.assertNotIn("/health/ready", text, "the probe is kept out of the log")

        # A requirement the wheels do not hold: the script fails and the
        # bundle made before stays whole, with nothing of the attempt beside it.
        missing = os.path.join(self.homes.root, "requirements.txt")
        with open(missing, "w") as requirements:
            requirements.write("labunits==1.0\nnot-in-the-wheels==2.0\n")
        failed = self.bundle(out, missing, os.path.join(self.homes.root, "wheels"))
        self.assertNotEqual(failed.returncode, 0)
        self.assertIn("not-in-the-wheels", failed.stderr)
        self.assertTrue(os.access(os.path.join(out, "Lumivant"), os.X_OK))
        self.assertEqual(sorted(glob.glob(out + ".*")), [])


if __name__ == "__main__":
    unittest.main()
