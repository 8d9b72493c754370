"""The web application keeps its origin, and with it its site storage, as a
new user meets it with the sample backend: a localStorage value saved in one
run is read back after quitting and starting again and after a restart
through the sample page's button, on the same port each time; a port that
another program holds gives way to a fresh one for that launch only; and a
link clicked while the backend restarts is never handed to the system."""

import json
import os
import socket
import unittest

from browser_support import (HOME_PAGE, LOADED, install_url_recorder, keys, recorded_urls,
                             start_showing)
from harness import ShellTest, ask_backend, backend_processes, process_command_lines, wait_for

SCREENSHOTS = os.environ.get("LUMIVANT_SCREENSHOTS")
from test_startup import click_restart

SAVED = "存储：记住了；Cookie：饼干"


def backend_port(homes):
    """The --port of the one sample backend running for the simulated user."""
    def find():
        pids = backend_processes(homes=homes)
        return pids if len(pids) == 1 else None
    pid = wait_for(find, what="one backend")[0]
    args = process_command_lines()[pid]
    return int(args[args.index("--port") + 1])


class KeptOriginTest(ShellTest):
    def open_storage_page(self, shell, window):
        """From the home page, the fifth link: the storage page."""
        start = len(shell.stderr_lines())
        keys(window, "Tab", "Tab", "Tab", "Tab", "Tab", "Return")
        return shell.wait_for_line("^" + LOADED + "存储：", start=start)[len(LOADED):]

    def test_local_storage_survives_quit_and_restart_on_the_same_port(self):
        shell, window = start_showing(self, self.homes)
        port = backend_port(self.homes)
        self.assertEqual(self.open_storage_page(shell, window), "存储：无；Cookie：无")
        keys(window, "Tab", "Return")  # the save button, which reloads the page
        shell.wait_for_line("^" + LOADED + SAVED + "$")
        self.assertEqual(shell.terminate(), 0)

        ports_file = os.path.join(self.homes.xdg["XDG_STATE_HOME"], "Lumivant", "backend-ports.json")
        with open(ports_file) as kept:
            self.assertEqual(list(json.load(kept).values()), [port])
        self.assertFalse(os.path.exists(os.path.join(self.homes.data_root, "backend-ports.json")))

        shell, window = start_showing(self, self.homes)
        self.assertEqual(backend_port(self.homes), port)
        self.assertEqual(self.open_storage_page(shell, window), SAVED)
        self.assertEqual(shell.terminate(), 0)

        # The restart button on the home page: the backend exits with status 3
        # and its successor gets the port back, its connections in TIME_WAIT.
        shell, window = start_showing(self, self.homes)
        first_backend = backend_processes(homes=self.homes)
        start = len(shell.stderr_lines())
        click_restart(shell)
        shell.wait_for_line("^" + LOADED + HOME_PAGE + "$", start=start)
        self.assertNotEqual(backend_processes(homes=self.homes), first_backend, "a new backend")
        self.assertEqual(backend_port(self.homes), port)
        self.assertEqual(self.open_storage_page(shell, window), SAVED)
        self.assertEqual(shell.terminate(), 0)

    def test_a_busy_kept_port_gives_way_for_one_launch_and_is_kept(self):
        shell, window = start_showing(self, self.homes)
        port = backend_port(self.homes)
        self.assertEqual(self.open_storage_page(shell, window), "存储：无；Cookie：无")
        keys(window, "Tab", "Return")
        shell.wait_for_line("^" + LOADED + SAVED + "$")
        self.assertEqual(shell.terminate(), 0)

        holder = socket.socket()
        self.addCleanup(holder.close)
        # As any server binds; the port's last connections are in TIME_WAIT.
        holder.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        holder.bind(("127.0.0.1", port))
        holder.listen()
        shell, _ = start_showing(self, self.homes)
        self.assertNotEqual(backend_port(self.homes), port)
        self.assertEqual(shell.terminate(), 0)

        # Free again: the kept port comes back, and with it the site's storage.
        holder.close()
        shell, window = start_showing(self, self.homes)
        self.assertEqual(backend_port(self.homes), port)
        self.assertEqual(self.open_storage_page(shell, window), SAVED)
        self.assertEqual(shell.terminate(), 0)

    def test_a_click_during_a_restart_stays_in_the_app(self):
        record = install_url_recorder(self.homes)
        # Each backend takes two seconds to become ready: the restart is long
        # enough for a click to land in it.
        shell = self.start_shell(env={"SAMPLE_READY_DELAY": "2"})
        window = shell.window_id()
        shell.wait_for_line("^" + LOADED + HOME_PAGE + "$")
        port = backend_port(self.homes)
        (first,) = backend_processes(homes=self.homes)
        start = len(shell.stderr_lines())
        # The backend asks for its restart, as the page's restart button does.
        ask_backend(first, port, "/control/exit?code=3", method="POST")
        # Its successor has been started: the shell has seen the exit.
        wait_for(lambda: [p for p in backend_processes(homes=self.homes) if p != first],
                 what="the next backend")
        keys(window, "Tab", "Return")  # the home page's first link, to navigation.html
        if SCREENSHOTS:
            shell.screenshot(os.path.join(SCREENSHOTS, "restart-click.png"), window)
        shell.wait_for_line("^" + LOADED + HOME_PAGE + "$", start=start)
        self.assertEqual(backend_port(self.homes), port)
        self.assertEqual(recorded_urls(record), [], "nothing of the app's own goes to the system")
        self.assertEqual(shell.loaded_titles()[-1], HOME_PAGE)
        self.assertEqual(shell.terminate(), 0)


if __name__ == "__main__":
    unittest.main()
