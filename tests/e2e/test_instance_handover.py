"""A launch is never lost, with the local sample backend: one made while the
shell for its data root is quitting (its backend slow to stop) waits for that
shell to go and then shows its own window; one that finds the data root's bus
name held by a program that is not Lumivant gets the dialog for a shell that
does not respond, says who holds the name, and starts nothing."""

import os
import signal
import subprocess
import unittest

from browser_support import HOME_PAGE, LOADED, keys, xdotool
from harness import ShellTest, backend_processes, wait_for

HOLDER = os.environ.get("LUMIVANT_BUS_NAME_HOLDER",
                        os.path.join(os.environ.get("LUMIVANT_BUILD_DIR", "build"), "tests", "e2e",
                                     "bus_name_holder"))
# A backend that takes its whole grace period to stop.
SLOW_TO_STOP = {"SAMPLE_IGNORE_SIGTERM": "1"}


def bus(*arguments):
    return subprocess.run(["gdbus", "call", "--session", "--dest", "org.freedesktop.DBus",
                           "--object-path", "/org/freedesktop/DBus", "--method",
                           *arguments], capture_output=True, text=True).stdout


def names_owned_by(pid):
    names = [name.strip(" '") for name in bus("org.freedesktop.DBus.ListNames")
             .strip("()[], \n").split(",")]
    return [name for name in names if not name.startswith(":") and
            bus("org.freedesktop.DBus.GetConnectionUnixProcessID", name).strip() ==
            f"(uint32 {pid},)"]


class InstanceHandoverTest(ShellTest):
    def showing(self, env=None):
        shell = self.start_shell(env=env)
        window = shell.window_id()
        shell.wait_for_line("^" + LOADED + HOME_PAGE + "$")
        return shell, window

    def test_a_launch_while_the_shell_quits_waits_and_shows_its_window(self):
        first, _ = self.showing(SLOW_TO_STOP)
        os.kill(first.process.pid, signal.SIGTERM)
        again = self.start_shell(env=SLOW_TO_STOP)
        again.window_id()  # a window of the new launch's own process
        again.wait_for_line("^" + LOADED + HOME_PAGE + "$")
        self.assertEqual(first.wait(15), 0)
        self.assertEqual(len(backend_processes(homes=self.homes)), 1)
        self.assertEqual(again.terminate(), 0)

    def test_a_foreign_holder_of_the_bus_name_gives_the_dialog(self):
        first, _ = self.showing()
        names = [name for name in names_owned_by(first.process.pid) if "umivant" in name]
        self.assertEqual(len(names), 1, names)
        self.assertEqual(first.terminate(), 0)

        holder = subprocess.Popen([HOLDER, names[0]], stdout=subprocess.PIPE, text=True)
        self.addCleanup(holder.stdout.close)
        self.addCleanup(holder.wait)
        self.addCleanup(holder.kill)
        self.assertEqual(holder.stdout.readline().strip(), "held")

        again = self.start_shell()
        dialog = wait_for(lambda: xdotool("search", "--onlyvisible", "--pid",
                                          again.process.pid).split(), 10,
                          what="the dialog of the launch")[0]
        self.assertEqual(backend_processes(homes=self.homes), [], "no backend")
        keys(dialog, "Return")
        self.assertEqual(again.wait(10), 1)
        self.assertIn(f"lumivant: the bus name {names[0]} is held by a program that is not "
                      f"Lumivant (process {holder.pid})", again.stderr_lines())
        self.assertIsNone(holder.poll())


if __name__ == "__main__":
    unittest.main()
