"""Runs the built shell under the current X display for end-to-end tests.

Each Shell gets its own HOME, XDG directories and data root in a temporary
directory, so that runs never share state unless a test hands the same
directories to a second run on purpose.

Nothing a test starts may outlive it. The test process reaps orphans
(PR_SET_CHILD_SUBREAPER), so every process started below it stays below it
however it detaches: a shell's backend, its children, whatever they left. A
ShellTest fails when any such process still runs once the test is over, and
the process fails at its exit when anything is left from outside a test.
"""

import atexit
import ctypes
import http.server
import json
import os
import re
import shutil
import signal
import subprocess
import tempfile
import threading
import time
import unittest
import urllib.request

PR_SET_CHILD_SUBREAPER = 36
# How long what a test started gets to end by itself once the test is over:
# a backend whose shell was killed notices and exits within moments.
LEFTOVER_GRACE = 10.0


def _reap_orphans_here():
    libc = ctypes.CDLL(None, use_errno=True)
    if libc.prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0) != 0:
        raise OSError(ctypes.get_errno(), "prctl(PR_SET_CHILD_SUBREAPER)")


_reap_orphans_here()
# The processes that belong to the tests' surroundings rather than to a test.
_SURROUNDINGS = set()


def _session_bus():
    """Gives the tests one session bus, as a desktop session would, when they
    run without one. Otherwise GLib starts a bus of its own for every launch of
    the shell, which outlives it."""
    if os.environ.get("DBUS_SESSION_BUS_ADDRESS"):
        return
    daemon = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                              stdout=subprocess.PIPE, stdin=subprocess.DEVNULL)
    os.environ["DBUS_SESSION_BUS_ADDRESS"] = daemon.stdout.readline().decode().strip()
    _SURROUNDINGS.add(daemon.pid)

    def stop():
        daemon.terminate()
        daemon.wait()
    atexit.register(stop)


def _nothing_left_at_exit():
    """The last word of a test process: whatever it started outside a test
    (in a class's set-up, say) that still runs is ended, and the run fails."""
    left = _left_after_grace(set())
    if left:
        print(f"\nleft running after the tests: {_describe(left)}", flush=True)
        _end(left)
        os._exit(1)


# Registered before the bus's stop, so that it runs after it.
atexit.register(_nothing_left_at_exit)
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


def _stat_fields(pid):
    """The fields of /proc/<pid>/stat after the command name, or None once it has gone."""
    try:
        with open(f"/proc/{pid}/stat") as stat:
            return stat.read().rsplit(")", 1)[1].split()
    except (OSError, IndexError):
        return None


def _running_descendants():
    """Every process below this one that has not ended, as (pid, start time),
    apart from the surroundings and what runs below them."""
    children = {}
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            fields = _stat_fields(entry)
            if fields:
                children.setdefault(int(fields[1]), []).append((int(entry), fields))
    found, todo = set(), [os.getpid()]
    while todo:
        for pid, fields in children.get(todo.pop(), []):
            if pid in _SURROUNDINGS:
                continue
            todo.append(pid)
            if fields[0] != "Z":
                found.add((pid, int(fields[19])))
    return found


def _left_running(before):
    return sorted(_running_descendants() - before)


def _left_after_grace(before):
    """What still runs of what was started since before, once it has had
    LEFTOVER_GRACE seconds to end by itself; ended children are reaped."""
    try:
        wait_for(lambda: not _left_running(before), LEFTOVER_GRACE, interval=0.1,
                 what="what the test started to end")
    except AssertionError:
        pass
    left = _left_running(before)
    _reap_ended_children()
    return left


def _describe(processes):
    lines = process_command_lines()
    return "; ".join(f"{pid} {' '.join(lines.get(pid, ['?']))}" for pid, _ in processes)


def _reap_ended_children():
    """Reaps the children of this process that have ended: orphans it adopted,
    which nobody else waits for."""
    while True:
        try:
            pid, _ = os.waitpid(-1, os.WNOHANG)
        except ChildProcessError:
            return
        if pid == 0:
            return


def _end(processes):
    """Kills the given processes, each through a pidfd on the process listed,
    and reaps those that were this process's children."""
    for pid, start in processes:
        try:
            pidfd = os.pidfd_open(pid)
        except OSError:
            continue
        try:
            fields = _stat_fields(pid)
            if fields and int(fields[19]) == start:
                signal.pidfd_send_signal(pidfd, signal.SIGKILL)
        finally:
            os.close(pidfd)
    try:
        wait_for(lambda: not set(processes) & _running_descendants(), 10,
                 what="the killed processes")
    finally:
        _reap_ended_children()


class ShellTest(unittest.TestCase):
    """An end-to-end test of the shell: a simulated user's directories in
    self.homes, shells started with start_shell and killed at the end, and a
    failure when any process the test started still runs once it is over
    (after LEFTOVER_GRACE seconds to end by itself). What is left is killed."""

    def run(self, result=None):
        before = _running_descendants()
        # The first cleanup runs last, after the test's own have ended what it started.
        self.addCleanup(self._nothing_left_since, before)
        self.homes = Homes()
        self.addCleanup(self.homes.remove)
        return super().run(result)

    def start_shell(self, homes=None, **kwargs):
        """Starts the shell for homes (the test's own by default), killed when the test ends."""
        shell = Shell(homes or self.homes, **kwargs)
        self.addCleanup(shell.kill)
        return shell

    def hold_still(self, *pids):
        """Stops the processes (SIGSTOP), as a hung one would be, until the
        test ends: then they go on (SIGCONT), whether it passed or not, so that
        whatever is meant to end them can."""
        for pid in pids:
            os.kill(pid, signal.SIGSTOP)
            self.addCleanup(_resume, pid)

    def _nothing_left_since(self, before):
        left = _left_after_grace(before)
        if left:
            description = _describe(left)
            _end(left)
            self.fail(f"left running {LEFTOVER_GRACE:.0f} s after the test: {description}")


def _resume(pid):
    try:
        os.kill(pid, signal.SIGCONT)
    except ProcessLookupError:
        pass


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


def copy_bundle(destination, with_interpreter=True, takes_socket=True):
    """A copy of the built bundle's executable and its Info.json, with the
    bundle's interpreter linked in unless told otherwise; the executable is
    copied, not linked, so that it finds this bundle and a swap may replace it.
    Without takes_socket the Info.json no longer declares that the backend
    takes the shell's socket, so the backend binds its port itself."""
    os.makedirs(os.path.join(destination, "Resources"), exist_ok=True)
    shutil.copy2(os.path.join(BUNDLE, "Lumivant"), destination)
    shutil.copy2(os.path.join(BUNDLE, "Info.json"), destination)
    if not takes_socket:
        with open(os.path.join(destination, "Info.json"), "r+") as info:
            declared = json.load(info)
            del declared["LumivantBackendTakesSocket"]
            info.seek(0)
            info.truncate()
            json.dump(declared, info)
    if with_interpreter:
        os.symlink(os.path.join(BUNDLE, "Resources", "python"),
                   os.path.join(destination, "Resources", "python"))
    return os.path.join(destination, "Lumivant")


def kill_everything_running(executable):
    """Kills every process whose image is the file now at executable: the
    shells a test started from a bundle of its own, relaunched ones too."""
    for pid in pids_running(executable):
        os.kill(pid, signal.SIGKILL)


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


SECRET_COOKIE = "lumivant-backend-secret"


def backend_secret(pid):
    """The secret the backend with this pid answers to, from the environment it
    was started with (readable by its own user only, and by root)."""
    with open(f"/proc/{pid}/environ", "rb") as environ:
        for entry in environ.read().split(b"\0"):
            if entry.startswith(b"LUMIVANT_BACKEND_SECRET="):
                return entry.split(b"=", 1)[1].decode()
    raise AssertionError(f"process {pid} was given no secret")


def ask_backend(pid, port, path, method="GET"):
    """Sends a request to the backend with pid on port, presenting its secret
    as the shell's web view does; gives the answer's body."""
    request = urllib.request.Request(
        f"http://127.0.0.1:{port}{path}", method=method,
        headers={"Cookie": f"{SECRET_COOKIE}={backend_secret(pid)}"})
    with urllib.request.urlopen(request, timeout=10) as answer:
        return answer.read()


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
