"""The whole launch with the sample backend, as a new user runs it."""

import json
import os
import signal
import subprocess
import unittest

from browser_support import keys
from harness import ShellTest, ask_backend, backend_processes, copy_bundle, processes_of, wait_for

LOADED = "shell: webview loaded: "
HOME_TITLE = "示例研究台 · 首页"


def port_of(pid):
    with open(f"/proc/{pid}/cmdline", "rb") as cmdline:
        args = cmdline.read().decode().split("\0")
    return int(args[args.index("--port") + 1])


def open_descriptors(pid):
    """Where each of the process's open descriptors points, leaving out the
    files that the engine's memory monitor opens once, some seconds in."""
    targets = []
    for fd in os.listdir(f"/proc/{pid}/fd"):
        try:
            target = os.readlink(f"/proc/{pid}/fd/{fd}")
        except OSError:
            continue
        if not target.startswith(("/proc/", "/sys/fs/cgroup/")):
            targets.append(target)
    return targets


def shell_backends(shell):
    return [pid for pid in backend_processes() if pid in shell.children()]


def press(shell, keys):
    """Presses keys in the shell's window, as the user would."""
    subprocess.run(["xdotool", "key", "--window", shell.window_id(), keys], check=True)


def ask_backend_to_exit(shell, code):
    """What the home page's exit buttons send: the shell's backend is asked to
    exit with code. The buttons have no access keys, so that no key a user
    presses for a menu reaches them."""
    backend = wait_for(lambda: (shell_backends(shell) or [None])[0], 30, what="the backend child")
    ask_backend(backend, port_of(backend), f"/control/exit?code={code}", method="POST")


def click_restart(shell):
    """The home page's restart button (exit status 3)."""
    ask_backend_to_exit(shell, 3)


def click_exit_one(shell):
    """The home page's exit button (exit status 1)."""
    ask_backend_to_exit(shell, 1)


class LocalStartupTest(ShellTest):
    def start(self, **kwargs):
        shell = self.start_shell(**kwargs)
        return shell

    def wait_for_backend(self, shell, other_than=None):
        def find():
            pids = [pid for pid in shell_backends(shell) if pid != other_than]
            return pids[0] if pids else None
        return wait_for(find, 60, what="a backend child")

    def test_window_comes_first_then_the_backends_first_page(self):
        shell = self.start()
        shell.window_id()
        self.assertEqual(shell.loaded_titles(), [], "the window is up before any page has loaded")
        shell.wait_for_line("^" + LOADED + HOME_TITLE + "$")
        backend = self.wait_for_backend(shell)
        log = os.path.join(self.homes.data_root, "logs", "backend.log")
        self.assertIn(f"127.0.0.1:{port_of(backend)}", open(log).read())
        # Xvfb renders in software: the shell's own process never loads an
        # OpenGL driver, and what it told GTK for that is not passed on.
        with open(f"/proc/{shell.process.pid}/maps") as maps:
            drivers = {line.split()[-1] for line in maps if "_dri.so" in line or "libLLVM" in line}
        self.assertEqual(drivers, set())
        with open(f"/proc/{backend}/environ", "rb") as environ:
            self.assertNotIn(b"GDK_GL=", environ.read())
        self.assertEqual(shell.terminate(), 0)
        wait_for(lambda: backend not in backend_processes(), 10, what="the backend to stop with the shell")
        wait_for(lambda: not processes_of(self.homes), 10,
                 what=f"nothing of the shell's left running ({processes_of(self.homes)})")

    def test_restart_twenty_times_keeps_the_port_without_a_message_or_a_leak(self):
        # Four restarts the backend asks for, then one the user asks for on
        # the page of a backend that exited: the backend never asks more
        # often than the shell restarts it by itself, however fast it goes.
        shell = self.start()
        window = shell.window_id()
        shell.wait_for_line("^" + LOADED + HOME_TITLE + "$")
        backend = self.wait_for_backend(shell)
        descriptors_after_five = None
        for round_number in range(20):
            by_user = round_number % 5 == 4
            port = port_of(backend)
            loads_before = len(shell.loaded_titles())
            if by_user:
                click_exit_one(shell)
                wait_for(lambda: shell.loaded_titles()[loads_before:] == [""], 30,
                         what="the page of the backend that exited")
                keys(window, "F5")
            else:
                click_restart(shell)
            successor = self.wait_for_backend(shell, other_than=backend)
            wait_for(lambda: len(shell.loaded_titles()) > loads_before + by_user, 60,
                     what="the new backend's page")
            wait_for(lambda: backend not in backend_processes(), 10, what="the old backend to be gone")
            self.assertEqual(port_of(successor), port, "the origin is kept")
            self.assertEqual(shell.loaded_titles()[loads_before:],
                             ["", HOME_TITLE] if by_user else [HOME_TITLE],
                             "a message page for an exit only, none for a restart")
            backend = successor
            if round_number == 4:
                descriptors_after_five = open_descriptors(shell.process.pid)
        self.assertEqual(len(shell_backends(shell)), 1)
        descriptors = open_descriptors(shell.process.pid)
        logs = [d for d in descriptors if d.endswith("/logs/backend.log")]
        self.assertLessEqual(len(logs), 1, "one log handle, for the running backend only")
        for kind in ("pidfd", "socket:", "pipe:", "/logs/backend.log"):
            self.assertEqual(sum(kind in d for d in descriptors),
                             sum(kind in d for d in descriptors_after_five), kind)
        self.assertLessEqual(len(descriptors), len(descriptors_after_five) + 2, descriptors)
        self.assertEqual(shell.terminate(), 0)

    def test_exit_status_one_shows_the_message_page(self):
        shell = self.start()
        shell.wait_for_line("^" + LOADED + HOME_TITLE + "$")
        backend = self.wait_for_backend(shell)
        click_exit_one(shell)
        shell.wait_for_line("^" + LOADED + "$")
        wait_for(lambda: not shell_backends(shell), 10, what="no backend left")
        self.assertEqual(shell.terminate(), 0)

    def test_exit_status_zero_shows_the_message_page_and_no_restart(self):
        shell = self.start()
        shell.wait_for_line("^" + LOADED + HOME_TITLE + "$")
        backend = self.wait_for_backend(shell)
        ask_backend(backend, port_of(backend), "/control/exit?code=0")
        # A restart would load the home page of a new backend and no message page.
        shell.wait_for_line("^" + LOADED + "$")
        self.assertEqual(shell_backends(shell), [])
        self.assertEqual(shell.loaded_titles(), [HOME_TITLE, ""])
        self.assertEqual(shell.terminate(), 0)

    def test_killed_backend_shows_the_message_page(self):
        shell = self.start()
        shell.wait_for_line("^" + LOADED + HOME_TITLE + "$")
        os.kill(self.wait_for_backend(shell), signal.SIGKILL)
        shell.wait_for_line("^" + LOADED + "$")
        self.assertEqual(shell.terminate(), 0)

    def test_missing_interpreter_says_it_could_not_start(self):
        executable = copy_bundle(os.path.join(self.homes.root, "bundle"), with_interpreter=False)
        shell = self.start(executable=executable)
        shell.wait_for_line("^" + LOADED + "$")
        self.assertEqual(shell_backends(shell), [])
        self.assertEqual(shell.terminate(), 0)

    def test_backend_that_exits_before_it_is_ready_shows_the_message_page(self):
        shell = self.start(env={"SAMPLE_EXIT_BEFORE_READY": "2"})
        shell.wait_for_line("^" + LOADED + "$")
        with open(os.path.join(self.homes.data_root, "logs", "backend.log")) as log:
            self.assertTrue(log.read())
        self.assertEqual(shell.terminate(), 0)

    def test_killing_the_shell_ends_the_backend_through_exit_with_parent(self):
        shell = self.start()
        shell.wait_for_line("^" + LOADED + HOME_TITLE + "$")
        backend = self.wait_for_backend(shell)
        shell.process.send_signal(signal.SIGKILL)
        shell.wait()
        wait_for(lambda: backend not in backend_processes(), 10, what="the orphaned backend to exit")


if __name__ == "__main__":
    unittest.main()
