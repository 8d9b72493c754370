"""What the benchmarks share: the programs, how each is started and stopped from
outside, the beacon server that stamps a page's reports on the system's
monotonic clock, and the resident memory read from /proc.

Every benchmark measures the built shell against WebKitGTK's own MiniBrowser
(and, for start-up, pywebview) in the same run, interleaved run by run, so
that the machine's load hits all programs alike.
"""

import contextlib
import http.server
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
from harness import process_tree  # noqa: E402  (the end-to-end tests' process helpers)

# Another bundle (an installed one, another tree's build) may be measured instead.
BUNDLE = os.environ.get("LUMIVANT_BENCH_BUNDLE") or os.path.join(ROOT, "build", "Lumivant")
SHELL = os.path.join(BUNDLE, "Lumivant")
PYTHON = os.path.join(BUNDLE, "Resources", "python", "bin", "python3")
MINIBROWSER = "/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/MiniBrowser"

PYWEBVIEW = """
import os, sys, webview
width, height = map(int, os.environ["BENCH_WINDOW_SIZE"].split("x"))
webview.create_window('bench', sys.argv[1], width=width, height=height)
webview.start(gui='gtk')
"""

# MiniBrowser always opens at 1024x768; the shell's first window is 1280x840.
MINIBROWSER_SIZE = (1024, 768)
SHELL_FIRST_RUN_SIZE = (1280, 840)

# Starts the sample backend as the shell does, waits for readiness, then runs the browser.
LAUNCHER = """
import os, socket, subprocess, sys, time, urllib.request
python, browser = sys.argv[1], sys.argv[2:]
with socket.socket() as s:
    s.bind(("127.0.0.1", 0)); port = s.getsockname()[1]
env = dict(os.environ, PYTHONUNBUFFERED="1", PYTHONDONTWRITEBYTECODE="1")
log = open(os.path.join(os.environ["BENCH_LOG_DIR"], "backend.log"), "ab")
subprocess.Popen([python, "-B", "-m", "app.launcher", "start", "--port", str(port), "--no-browser",
                  "--exit-with-parent", "--without-secret"], env=env, stdout=log, stderr=log)
url = f"http://127.0.0.1:{port}/"
while True:
    try:
        if urllib.request.urlopen(url + "health/ready", timeout=3).status == 200: break
    except Exception: pass
    time.sleep(0.3)
os.execvp(browser[0], browser + [url])
"""


class Stamps:
    """Moments on the monotonic clock at which reports arrived, with what they said."""

    def __init__(self):
        self.times = []
        self.bodies = []
        self.cond = threading.Condition()

    def add(self, moment, body=b""):
        with self.cond:
            self.times.append(moment)
            self.bodies.append(body)
            self.cond.notify_all()

    def wait_beyond(self, count, timeout):
        with self.cond:
            return self.cond.wait_for(lambda: len(self.times) > count, timeout)


class BeaconServer:
    """An HTTP server on 127.0.0.1 that serves `pages` (path -> bytes, or a
    callable returning them) and stamps every POST on arrival into the Stamps
    of its path. The sample backend forwards the moment its own page's beacon
    arrived as the body of /bench/loaded, which then counts instead."""

    def __init__(self, pages):
        self.pages = pages
        self.stamps = {}
        self._lock = threading.Lock()
        outer = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def log_message(self, *args):
                pass

            def do_GET(self):
                outer.stamps_of("GET " + self.path).add(time.monotonic())
                path = self.path.split("?", 1)[0]
                if path.endswith("health/ready"):
                    body, kind = b"ok", "text/plain"
                else:
                    page = outer.pages.get(path, outer.pages.get("/"))
                    body, kind = (page() if callable(page) else page), "text/html; charset=utf-8"
                self.send_response(200)
                self.send_header("Content-Type", kind)
                self.send_header("Content-Length", str(len(body)))
                self.send_header("Cache-Control", "no-store")
                self.end_headers()
                self.wfile.write(body)

            def do_POST(self):
                moment = time.monotonic()
                body = self.rfile.read(int(self.headers.get("Content-Length") or 0))
                if self.path == "/bench/loaded":
                    try:
                        moment = float(body.decode())
                    except ValueError:
                        pass
                outer.stamps_of(self.path).add(moment, body)
                self.send_response(204)
                self.end_headers()

        self._server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.url = f"http://127.0.0.1:{self._server.server_address[1]}/"
        threading.Thread(target=self._server.serve_forever, daemon=True).start()

    def stamps_of(self, path):
        with self._lock:
            return self.stamps.setdefault(path, Stamps())

    def close(self):
        self._server.shutdown()
        self._server.server_close()


def rss_kib(pid):
    try:
        with open(f"/proc/{pid}/status") as f:
            for line in f:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return 0


def process_name(pid):
    try:
        with open(f"/proc/{pid}/comm") as f:
            return f.read().strip()
    except OSError:
        return ""


def web_processes(root_pid):
    return [p for p in process_tree(root_pid) if process_name(p).startswith("WebKitWebProces")]


def memory_mib(root_pid):
    """RSS of the program's own process (the shell, MiniBrowser or the pywebview
    interpreter; the references' launcher execs into them) and of its web
    processes, in MiB. A backend child is neither."""
    return rss_kib(root_pid) / 1024, sum(rss_kib(p) for p in web_processes(root_pid)) / 1024


def start_ticks(pid):
    """When the process started, in clock ticks since boot (/proc/PID/stat's 22nd field)."""
    try:
        with open(f"/proc/{pid}/stat") as f:
            return int(f.read().rsplit(")", 1)[1].split()[19])
    except (OSError, IndexError, ValueError):
        return None


def web_process_spawn_seconds(root_pid):
    """How long after the program's start its first web process started, to the
    kernel's clock tick (10 ms), or None."""
    root = start_ticks(root_pid)
    webs = [t for t in map(start_ticks, web_processes(root_pid)) if t is not None]
    if root is None or not webs:
        return None
    return (min(webs) - root) / os.sysconf("SC_CLK_TCK")


def give_shell_window_size(home, size):
    """A saved frame of the given size, as the shell keeps it, so that it opens at that size."""
    state = os.path.join(home, ".local", "state", "Lumivant")
    os.makedirs(state, exist_ok=True)
    with open(os.path.join(state, "window-state.ini"), "w") as f:
        f.write(f"[main]\nx=0\ny=0\nwidth={size[0]}\nheight={size[1]}\nmaximized=false\n")


@contextlib.contextmanager
def fresh_home():
    home = tempfile.mkdtemp(prefix="lumivant-bench-")
    try:
        yield home
    finally:
        shutil.rmtree(home, ignore_errors=True)


def command_and_env(program, case, home, size, server_url, target_url=None, extra_env=None):
    """How to start `program` in `case` ("server": the organisation server at
    server_url, whose page the references open at target_url; "local": the
    sample backend, started by the shell or by the references' launcher), with
    a home of its own and a window of `size`."""
    env = dict(os.environ)
    env["HOME"] = home
    for name, sub in (("XDG_DATA_HOME", ".local/share"), ("XDG_CACHE_HOME", ".cache"),
                      ("XDG_STATE_HOME", ".local/state"), ("XDG_CONFIG_HOME", ".config")):
        env[name] = os.path.join(home, sub)
    env["NO_AT_BRIDGE"] = "1"
    env["BENCH_WINDOW_SIZE"] = f"{size[0]}x{size[1]}"
    env.update(extra_env or {})
    data_root = os.path.join(home, ".orlath-framework")
    os.makedirs(os.path.join(data_root, "logs"), exist_ok=True)
    env["BENCH_LOG_DIR"] = os.path.join(data_root, "logs")
    env["SAMPLE_BENCH_STAMP_URL"] = server_url + "bench/loaded"
    if case == "server":
        with open(os.path.join(data_root, "server.json"), "w") as f:
            json.dump({"url": server_url}, f)
    if program == "lumivant":
        if size != SHELL_FIRST_RUN_SIZE:
            give_shell_window_size(home, size)
        return [SHELL], env
    if program == "minibrowser":
        command = [MINIBROWSER]
    else:
        # Debian's pywebview lives in the system interpreter's dist-packages.
        command = ["/usr/bin/python3", "-c", PYWEBVIEW]
    if case == "local":
        return [sys.executable, "-c", LAUNCHER, PYTHON] + command, env
    return command + [target_url or server_url], env


@contextlib.contextmanager
def running(command, env):
    """The program, in a session of its own, ended with everything it started."""
    process = subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                               start_new_session=True)
    try:
        yield process
    finally:
        os.killpg(process.pid, signal.SIGTERM)
        try:
            process.wait(10)
        except subprocess.TimeoutExpired:
            os.killpg(process.pid, signal.SIGKILL)
            process.wait()


def load_average():
    with open("/proc/loadavg") as f:
        return " ".join(f.read().split()[:3])


def ratio(value, reference):
    return f"{value / reference:.2f}" if reference else "n/a"
