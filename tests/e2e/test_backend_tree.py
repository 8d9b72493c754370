"""However a backend ends (the shell quits, it asks for a restart, it never
became ready and the user closes the window), none of its processes is left:
not its plain children, not one in a session of its own that ignores SIGTERM,
not one that detached from a parent that ended, not one that did so with an
empty environment (setsid env -i) or overwrote its environment in place, not
one that its members start as they are told to stop. A program the shell
handed an address to is not the backend's and lives on. A shell killed right
after it started its backend leaves no backend either."""

import os
import signal
import textwrap
import unittest

from browser_support import close_window, install_url_recorder, keys
from harness import ShellTest, backend_processes, process_command_lines, processes_of, wait_for
from test_startup import HOME_TITLE, LOADED, click_restart, port_of, shell_backends

CHILDREN = {"SAMPLE_CHILDREN": "1"}
KINDS = 5

# A backend of the test's own whose every process, the backend included, hands
# its work on when told to stop: it starts a sleeper in a session of its own
# with an empty environment (setsid env -i) and exits at once. Its processes
# are "fork-at-term <role> <tag>".
FORK_AT_TERM_BACKEND = textwrap.dedent("""\
    import http.server, os, signal, socket, subprocess, sys, time

    TAG = os.environ["FORK_AT_TERM_TAG"]


    def hand_on(*_):
        subprocess.Popen(["setsid", "env", "-i", sys.executable, "-c",
                          "import time; time.sleep(3600)", "fork-at-term", "sleeper", TAG])
        os._exit(0)


    signal.signal(signal.SIGTERM, hand_on)
    if sys.argv[1] == "member":
        while True:
            time.sleep(3600)
    for _ in range(3):
        subprocess.Popen([sys.executable, "-m", "app.launcher", "member",
                          "fork-at-term", "member", TAG])


    class Page(http.server.BaseHTTPRequestHandler):
        def do_GET(self):
            body = b"<!doctype html><title>fork-at-term</title>"
            self.send_response(200)
            self.send_header("Content-Type", "text/html")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)

        def log_message(self, *args):
            pass


    # On the listening socket the shell hands down as descriptor 3.
    server = http.server.HTTPServer(("127.0.0.1", 0), Page, bind_and_activate=False)
    server.socket.close()
    server.socket = socket.socket(fileno=3)
    server.serve_forever()
    """)


def state_of(pid):
    try:
        with open(f"/proc/{pid}/stat") as stat:
            return stat.read().rsplit(")", 1)[1].split()[0]
    except OSError:
        return None


def parent_of(pid):
    try:
        with open(f"/proc/{pid}/stat") as stat:
            return int(stat.read().rsplit(")", 1)[1].split()[1])
    except OSError:
        return None


def read_pid(path):
    try:
        with open(path) as pid:
            return int(pid.read())
    except (OSError, ValueError):
        return None


def kill_quietly(pid):
    try:
        os.kill(pid, signal.SIGKILL)
    except ProcessLookupError:
        pass


class BackendTreeTest(ShellTest):
    def setUp(self):
        self.ports = set()
        # A test that fails may leave the shell killed, and a killed shell
        # cannot end the children that ignore SIGTERM or detached.
        self.addCleanup(self.kill_sample_children)

    def kill_sample_children(self):
        for pid in self.sample_children():
            kill_quietly(pid)

    def start(self, env=None):
        shell = self.start_shell(env={**CHILDREN, **(env or {})})
        return shell

    def sample_children(self, port=None):
        """The sleeping children, "sample-child <kind> <port>", of this test's
        backends (those of the given port), whatever their environment."""
        ports = {port} if port else self.ports
        return sorted(pid for pid, args in process_command_lines().items()
                      if "sample-child" in args and args[-1] in ports)

    def wait_for_tree(self, shell, other_than=()):
        """The backend and its five children, once all are up and those that
        detached have been handed to the backend itself as their parent ended."""
        def find():
            backends = [pid for pid in shell_backends(shell) if pid not in other_than]
            if len(backends) != 1:
                return None
            port = str(port_of(backends[0]))
            self.ports.add(port)
            children = [pid for pid in self.sample_children(port) if pid not in other_than]
            if len(children) == KINDS and all(parent_of(pid) == backends[0] for pid in children):
                return backends + children
            return None
        return wait_for(find, 60, what="the backend and its five children")

    def assert_all_gone(self, pids):
        """Not running and not waiting as a zombie either; read at once, not waited for."""
        left = [(pid, state_of(pid)) for pid in pids if state_of(pid) is not None]
        self.assertEqual(left, [])

    def test_quitting_ends_the_whole_tree_and_not_what_got_an_address(self):
        handler_pid = os.path.join(self.homes.root, "handler.pid")
        install_url_recorder(self.homes)
        with open(os.path.join(self.homes.root, "record-url"), "a") as script:
            # The "browser" stays open, as browsers do.
            script.write(f"echo $$ > '{handler_pid}'\nexec sleep 3600\n")
        # The home page is the navigation page with its https link focused.
        shell = self.start({"SAMPLE_HOME_REDIRECT": "/navigation.html?focus=https"})
        shell.wait_for_line("^" + LOADED + "导航$")
        tree = self.wait_for_tree(shell)
        keys(shell.window_id(), "Return")
        browser = wait_for(lambda: read_pid(handler_pid), what="the system's handler for the address")
        self.addCleanup(kill_quietly, browser)
        self.assertEqual(shell.terminate(), 0)
        self.assertEqual(state_of(browser), "S", "the handler lives on")
        kill_quietly(browser)
        # The shell waited for the tree before it exited.
        self.assertEqual([pid for pid in tree if state_of(pid) not in (None, "Z")], [])
        wait_for(lambda: not processes_of(self.homes), 10,
                 what=f"nothing of the shell's left running ({processes_of(self.homes)})")

    def test_what_the_tree_starts_as_it_is_told_to_stop_ends_too(self):
        package = os.path.join(self.homes.root, "fork-at-term", "app")
        os.makedirs(package)
        open(os.path.join(package, "__init__.py"), "w").close()
        with open(os.path.join(package, "launcher.py"), "w") as launcher:
            launcher.write(FORK_AT_TERM_BACKEND)
        tag = self.homes.root

        def tree():
            return [pid for pid, args in process_command_lines().items()
                    if "fork-at-term" in args and args[-1] == tag]

        def catches_sigterm(pid):
            try:
                with open(f"/proc/{pid}/status") as status:
                    caught = next(line for line in status if line.startswith("SigCgt:"))
            except (OSError, StopIteration):
                return False
            return int(caught.split()[1], 16) & (1 << (signal.SIGTERM - 1)) != 0

        shell = self.start_shell(env={"PYTHONPATH": os.path.dirname(package),
                                      "FORK_AT_TERM_TAG": tag})
        shell.wait_for_line("^" + LOADED + "fork-at-term$")
        def members_ready():
            found = tree()
            return len(found) == 3 and all(catches_sigterm(pid) for pid in found) and found
        members = wait_for(members_ready, what="the three members, ready to hand on")
        self.assertEqual(shell.terminate(), 0)
        # The shell waited for the whole tree, what it started on the way too.
        self.assertEqual([(pid, state_of(pid)) for pid in tree() if state_of(pid) != "Z"], [],
                         f"members were {members}")

    def test_a_shell_killed_right_after_starting_its_backend_leaves_no_backend(self):
        # The backend looks for its shell only once the file exists: after
        # the shell was killed, as a backend busy importing would.
        go = os.path.join(self.homes.root, "go")
        shell = self.start_shell(env={"SAMPLE_START_AFTER": go})
        log = os.path.join(self.homes.data_root, "logs", "backend.log")
        def importing():
            try:
                with open(log) as lines:
                    return f"waiting for {go}" in lines.read()
            except FileNotFoundError:
                return False
        wait_for(importing, what="the backend, still importing")
        (backend,) = backend_processes(homes=self.homes)
        shell.kill()
        open(go, "w").close()
        wait_for(lambda: state_of(backend) in (None, "Z"), 5, what="the backend to exit by itself")

    def test_restart_ends_the_old_tree_before_the_new_backend_starts(self):
        shell = self.start()
        shell.wait_for_line("^" + LOADED + HOME_TITLE + "$")
        old = self.wait_for_tree(shell)
        loads_before = len(shell.loaded_titles())
        click_restart(shell)
        wait_for(lambda: [pid for pid in shell_backends(shell) if pid not in old], 60,
                 what="the new backend")
        # The new backend exists, so the old tree must already be gone, reaped too.
        self.assert_all_gone(old)
        wait_for(lambda: len(shell.loaded_titles()) > loads_before, 60, what="the new backend's page")
        self.wait_for_tree(shell, other_than=old)
        self.assertEqual(shell.terminate(), 0)

    def test_closing_the_window_while_the_backend_never_becomes_ready_ends_its_tree(self):
        shell = self.start({"SAMPLE_NEVER_READY": "1"})
        tree = self.wait_for_tree(shell)
        self.assertEqual(shell.loaded_titles(), [], "still starting")
        close_window(shell.window_id())
        self.assertEqual(shell.wait(), 0)
        self.assertEqual([pid for pid in tree if state_of(pid) not in (None, "Z")], [])
        wait_for(lambda: not processes_of(self.homes), 10,
                 what=f"nothing of the shell's left running ({processes_of(self.homes)})")


if __name__ == "__main__":
    unittest.main()
