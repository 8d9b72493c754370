"""One shell per data root: a second launch with the same data root brings the
running shell's window to the front and leaves at once, having started,
written and shown nothing; a launch with another data root runs on its own.
Under a real window manager, which decides what comes to the front."""

import os
import signal
import subprocess
import unittest

from browser_support import keys, start_showing, xdotool
from desktops import XScreen
from harness import Homes, ShellTest, backend_processes, wait_for



def active_window():
    return xdotool("getactivewindow").strip()


def topmost_window():
    """The client window that the window manager stacks above all others."""
    out = subprocess.run(["xprop", "-root", "_NET_CLIENT_LIST_STACKING"],
                         capture_output=True, text=True).stdout
    return str(int(out.split()[-1], 16))


def lumivant_windows():
    return xdotool("search", "--all", "--onlyvisible", "--name", "^Lumivant$").split()


class SingleInstanceTest(ShellTest):
    def setUp(self):
        self.screen = XScreen("openbox")
        self.addCleanup(self.screen.close)

    def test_second_launch_raises_the_first_and_another_data_root_runs_on_its_own(self):
        mine, other = self.homes, Homes()
        self.addCleanup(other.remove)
        first, first_window = start_showing(self, mine)
        # Another data root: a second shell of its own, on top and focused.
        second, second_window = start_showing(self, other)
        wait_for(lambda: active_window() == second_window == topmost_window(),
                 what="the other shell in front")
        self.assertEqual(len(backend_processes(homes=other)), 1)

        declaration = os.path.join(mine.data_root, "shell.json")
        declared = os.stat(declaration).st_mtime_ns
        log = os.path.join(mine.data_root, "logs", "backend.log")
        logged = os.path.getsize(log)
        state = sorted(os.listdir(os.path.join(mine.xdg["XDG_STATE_HOME"], "Lumivant")))

        again = self.start_shell(mine)
        self.assertEqual(again.wait(10), 0)
        wait_for(lambda: active_window() == first_window == topmost_window(),
                 what="the first window in front and focused")

        self.assertEqual(len(backend_processes(homes=mine)), 1, "one backend")
        self.assertEqual(sorted(lumivant_windows()), sorted([first_window, second_window]),
                         "no window of the second launch")
        self.assertEqual(os.stat(declaration).st_mtime_ns, declared, "no declaration written")
        self.assertEqual(os.path.getsize(log), logged, "no backend log written")
        self.assertEqual(sorted(os.listdir(os.path.join(mine.xdg["XDG_STATE_HOME"], "Lumivant"))),
                         state)
        self.assertEqual(again.stderr_lines(), [])
        shot = os.path.join(os.environ.get("LUMIVANT_SCREENSHOTS", mine.root), "raised-first.png")
        subprocess.run(["import", "-window", "root", shot], check=True)

        self.assertIsNone(first.process.poll())
        self.assertIsNone(second.process.poll())
        self.assertEqual(first.terminate(), 0)
        self.assertEqual(second.terminate(), 0)

    def test_a_stopped_first_instance_gives_a_dialog_and_no_second_shell(self):
        homes = self.homes
        first, first_window = start_showing(self, homes)
        os.kill(first.process.pid, signal.SIGSTOP)
        # Let go again even if the test fails, so that the kill at clean-up ends it.
        self.addCleanup(lambda: first.process.poll() is None and
                        os.kill(first.process.pid, signal.SIGCONT))

        again = self.start_shell(homes)
        dialog = wait_for(lambda: xdotool("search", "--onlyvisible", "--pid",
                                          again.process.pid).split(), 5,
                          what="the dialog of the second launch")[0]
        shot = os.path.join(os.environ.get("LUMIVANT_SCREENSHOTS", homes.root),
                            "unresponsive-instance.png")
        subprocess.run(["import", "-window", "root", shot], check=True)
        self.assertEqual(len(backend_processes(homes=homes)), 1, "no second backend")
        keys(dialog, "Return")
        self.assertEqual(again.wait(10), 1)
        self.assertEqual(len(backend_processes(homes=homes)), 1, "no second backend")

        os.kill(first.process.pid, signal.SIGCONT)
        self.assertEqual(first.terminate(), 0)


if __name__ == "__main__":
    unittest.main()
