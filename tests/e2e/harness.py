"""Runs the built shell under the current X display for end-to-end tests.

Each Shell gets its own HOME, XDG directories and data root in a temporary
directory, so that runs never share state unless a test hands the same
directories to a second run on purpose.
"""

import atexit
import http.server
import os
import re
import shutil
import signal
import subprocess
import tempfile
import threading
import time

def _session_bus():
    """Gives the tests one session bus, as a desktop session would, when they
    run without one. Otherwise GLib starts a bus of its own for every launch of
    the shell, which outlives it."""
    if os.environ.get("DBUS_SESSION_BUS_ADDRESS"):
        return
    daemon = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                              stdout=subprocess.PIPE, stdin=subprocess.DEVNULL)
    os.environ["DBUS_SESSION_BUS_ADDRESS"] = daemon.stdout.readline().decode().strip()
    atexit.register(daemon.terminate)


_session_bus()

BUNDLE = os.environ.get("LUMIVANT_BUNDLE") or os.path.join(
    os.path.dirname(__file__), "..", "..", "build", "Lumivant")
EXECUTABLE = os.path.join(BUNDLE, "Lumivant")


class QuietHandler(http.server.BaseHTTPRequestHandler):
    """A request handler for the tests' own servers: no access log, and one
    way to send a whole answer."""

    def answer(self, status, body, content_type="text/plain"):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


def serve_on_loopback(handler, port=0):
    """A threading HTTP server on 127.0.0.1, on a free port unless given one,
    already serving; returns it with its serving thread."""
    httpd = http.server.ThreadingHTTPServer(("127.0.0.1", port), handler)
    thread = threading.Thread(target=httpd.serve_forever, daemon=True)
    thread.start()
    return httpd, thread


def wait_for(condition, timeout=30.0, interval=0.05, what="condition"):
    """Polls condition() until it returns a truthy value, which is returned."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() >= deadline:
            raise AssertionError(f"timed out after {timeout}s waiting for {what}")
        time.sleep(interval)


class Homes:
    """The per-user directories of one simulated user."""

    def __init__(self, root=None):
        self.root = root or tempfile.mkdtemp(prefix="lumivant-e2e-")
        self.home = os.path.join(self.root, "home")
        self.data_root = os.path.join(self.home, ".orlath-framework")
        self.xdg = {
            "XDG_DATA_HOME": os.path.join(self.home, ".local", "share"),
            "XDG_CACHE_HOME": os.path.join(self.home, ".cache"),
            "XDG_STATE_HOME": os.path.join(self.home, ".local", "state"),
            "XDG_CONFIG_HOME": os.path.join(self.home, ".config"),
        }
        os.makedirs(self.home, exist_ok=True)

    def environment(self, extra=None):
        env = dict(os.environ)
        env["HOME"] = self.home
        env.update(self.xdg)
        env.pop("ORLATH_FRAMEWORK_HOME", None)
        # Keep the engine quiet and away from the network.
        env.setdefault("WEBKIT_DISABLE_COMPOSITING_MODE", "1")
        env["NO_AT_BRIDGE"] = "1"
        if extra:
            env.update(extra)
        # None in extra: the variable is not set at all.
        return {name: value for name, value in env.items() if value is not None}

    def remove(self):
        shutil.rmtree(self.root, ignore_errors=True)


class Shell:
    """One run of the built shell, with its standard error collected line by line."""

    def __init__(self, homes, executable=EXECUTABLE, env=None, prefix=()):
        self.homes = homes
        self.lines = []
        self._lock = threading.Lock()
        self.process = subprocess.Popen(
            list(prefix) + [executable], env=homes.environment(env), stdin=subprocess.DEVNULL,
            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, start_new_session=True)
        self._reader = threading.Thread(target=self._read, daemon=True)
        self._reader.start()

    def _read(self):
        for raw in self.process.stderr:
            with self._lock:
                self.lines.append(raw.decode("utf-8", "replace").rstrip("\n"))

    def stderr_lines(self):
        with self._lock:
            return list(self.lines)

    def wait_for_line(self, pattern, timeout=60.0, start=0):
        """The first standard-error line from index start on that matches the regex."""
        regex = re.compile(pattern)

        def find():
            for line in self.stderr_lines()[start:]:
                if regex.search(line):
                    return line
            return None
        return wait_for(find, timeout, what=f"stderr line /{pattern}/ (have {self.stderr_lines()[-5:]})")

    def loaded_titles(self):
        prefix = "shell: webview loaded: "
        return [line[len(prefix):] for line in self.stderr_lines() if line.startswith(prefix)]

    def window_id(self, timeout=30.0):
        def find():
            out = subprocess.run(["xdotool", "search", "--all", "--onlyvisible", "--pid", str(self.process.pid), "--name", "^Lumivant$"],
                                 capture_output=True, text=True).stdout.split()
            return out[0] if out else None
        return wait_for(find, timeout, what="the Lumivant window")

    def has_window(self):
        out = subprocess.run(["xdotool", "search", "--all", "--onlyvisible", "--pid", str(self.process.pid), "--name", "^Lumivant$"],
                             capture_output=True, text=True).stdout.split()
        return bool(out)

    def screenshot(self, path, window=None):
        target = window or "root"
        subprocess.run(["import", "-window", target, path], check=True)
        return path

    def children(self):
        """Process ids whose parent is the shell."""
        result = []
        for entry in os.listdir("/proc"):
            if not entry.isdigit():
                continue
            try:
                with open(f"/proc/{entry}/stat") as stat:
                    fields = stat.read().rsplit(")", 1)[1].split()
                if int(fields[1]) == self.process.pid:
                    result.append(int(entry))
            except (OSError, IndexError):
                pass
        return result

    def terminate(self, timeout=15.0):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
        return self.wait(timeout)

    def wait(self, timeout=15.0):
        try:
            return self.process.wait(timeout)
        finally:
            self._reader.join(timeout=5)
            if not self._reader.is_alive():
                self.process.stderr.close()

    def kill(self):
        """Kills the shell and whatever is left in its process group."""
        try:
            os.killpg(self.process.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        self.wait()


def pids_running(executable):
    """Processes whose running image is the file now at executable."""
    found = []
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                if os.readlink(f"/proc/{entry}/exe") == executable:
                    found.append(int(entry))
            except OSError:
                pass
    return found


def process_command_lines():
    """Every process's argument vector, by pid."""
    result = {}
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                with open(f"/proc/{entry}/cmdline", "rb") as cmdline:
                    args = cmdline.read().split(b"\0")[:-1]
                result[int(entry)] = [a.decode("utf-8", "replace") for a in args]
            except OSError:
                pass
    return result


def process_home(pid):
    """The HOME in a process's environment, or None."""
    try:
        with open(f"/proc/{pid}/environ", "rb") as environ:
            for entry in environ.read().split(b"\0"):
                if entry.startswith(b"HOME="):
                    return entry[5:].decode("utf-8", "replace")
    except OSError:
        pass
    return None


def processes_of(homes):
    """Pids of every process running with the simulated user's HOME: the shell,
    its backend, and anything else its launches left running."""
    return [int(entry) for entry in os.listdir("/proc")
            if entry.isdigit() and process_home(int(entry)) == homes.home]


def backend_processes(port=None, homes=None):
    """Pids of sample backends (python -m app.launcher start ...), optionally on
    one port, or only those started for one simulated user's home."""
    found = []
    for pid, args in process_command_lines().items():
        if "app.launcher" in args and "start" in args:
            if port is not None and str(port) not in args:
                continue
            if homes is not None and process_home(pid) != homes.home:
                continue
            found.append(pid)
    return found


def process_tree(pid):
    """The pids of a process's descendants."""
    children = {}
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                with open(f"/proc/{entry}/stat") as stat:
                    children.setdefault(int(stat.read().rsplit(")", 1)[1].split()[1]), []).append(int(entry))
            except (OSError, IndexError, ValueError):
                pass
    found, todo = [], [pid]
    while todo:
        for child in children.get(todo.pop(), []):
            found.append(child)
            todo.append(child)
    return found
