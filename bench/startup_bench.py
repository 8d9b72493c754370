#!/usr/bin/env python3
"""Start-up benchmark: the time from starting a program to its first page's load event.

Three programs load the same page in the same run, measured the same way from
outside: the page sends a beacon on its load event to the server that serves it,
and the server stamps the time on the system's monotonic clock.

  lumivant     the built shell (build/Lumivant/Lumivant)
  minibrowser  WebKitGTK's own MiniBrowser: the engine's floor
  pywebview    pywebview with its GTK backend: the peer a Python group would pick

Two cases:
  server  an organisation server on 127.0.0.1 that is ready at once (shell overhead alone)
  local   the sample backend started by the program (the whole launch); the
          references start it the way the shell does, through a small launcher
          that waits for /health/ready before opening the browser.

Also reports the resident memory of each program's own process and of its web
process after the load. Run under a display (xvfb-run) via scripts/bench.sh.
"""

import argparse
import http.server
import json
import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import threading
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
from harness import process_tree  # noqa: E402  (the end-to-end tests' process helpers)
BUNDLE = os.path.join(ROOT, "build", "Lumivant")
SHELL = os.path.join(BUNDLE, "Lumivant")
PYTHON = os.path.join(BUNDLE, "Resources", "python", "bin", "python3")
MINIBROWSER = "/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/MiniBrowser"
PAGE = (b"<!doctype html><html><head><meta charset='utf-8'><title>bench</title></head>"
        b"<body><h1>bench</h1><script>addEventListener('load', () => "
        b"navigator.sendBeacon('/bench/loaded', 'x'));</script></body></html>")

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
                  "--exit-with-parent"], env=env, stdout=log, stderr=log)
url = f"http://127.0.0.1:{port}/"
while True:
    try:
        if urllib.request.urlopen(url + "health/ready", timeout=3).status == 200: break
    except Exception: pass
    time.sleep(0.3)
os.execvp(browser[0], browser + [url])
"""


class Stamps:
    def __init__(self):
        self.times = []
        self.cond = threading.Condition()

    def add(self, moment):
        with self.cond:
            self.times.append(moment)
            self.cond.notify_all()

    def wait_beyond(self, count, timeout):
        with self.cond:
            return self.cond.wait_for(lambda: len(self.times) > count, timeout)


def serve_ready_page(stamps):
    class Handler(http.server.BaseHTTPRequestHandler):
        def log_message(self, *args):
            pass

        def do_GET(self):
            if self.path.endswith("health/ready"):
                body, kind = b"ok", "text/plain"
            else:
                body, kind = PAGE, "text/html; charset=utf-8"
            self.send_response(200)
            self.send_header("Content-Type", kind)
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)

        def do_POST(self):
            moment = time.monotonic()
            body = self.rfile.read(int(self.headers.get("Content-Length") or 0))
            if self.path == "/bench/loaded":
                # The sample backend forwards the moment its own page's beacon arrived.
                try:
                    moment = float(body.decode())
                except ValueError:
                    pass
                stamps.add(moment)
            self.send_response(204)
            self.end_headers()

    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


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


def memory_after_load(root_pid):
    """RSS of the program's own process (the shell, MiniBrowser or the pywebview
    interpreter; the references' launcher execs into them) and of its web
    process, in MiB. A backend child is neither."""
    web = [p for p in process_tree(root_pid) if process_name(p).startswith("WebKitWebProces")]
    return rss_kib(root_pid) / 1024, sum(rss_kib(p) for p in web) / 1024


def give_shell_window_size(home, size):
    """A saved frame of the given size, as the shell keeps it, so that it opens at that size."""
    state = os.path.join(home, ".local", "state", "Lumivant")
    os.makedirs(state, exist_ok=True)
    with open(os.path.join(state, "window-state.ini"), "w") as f:
        f.write(f"[main]\nx=100\ny=100\nwidth={size[0]}\nheight={size[1]}\nmaximized=false\n")


def run_once(program, case, stamps, server_url, home, size):
    env = dict(os.environ)
    env["HOME"] = home
    for name, sub in (("XDG_DATA_HOME", ".local/share"), ("XDG_CACHE_HOME", ".cache"),
                      ("XDG_STATE_HOME", ".local/state"), ("XDG_CONFIG_HOME", ".config")):
        env[name] = os.path.join(home, sub)
    env["NO_AT_BRIDGE"] = "1"
    env["BENCH_WINDOW_SIZE"] = f"{size[0]}x{size[1]}"
    data_root = os.path.join(home, ".orlath-framework")
    os.makedirs(os.path.join(data_root, "logs"), exist_ok=True)
    env["BENCH_LOG_DIR"] = os.path.join(data_root, "logs")
    env["SAMPLE_BENCH_STAMP_URL"] = server_url + "bench/loaded"
    if case == "server":
        with open(os.path.join(data_root, "server.json"), "w") as f:
            json.dump({"url": server_url}, f)
        target = [server_url]
    else:
        target = []
    if program == "lumivant":
        if size != SHELL_FIRST_RUN_SIZE:
            give_shell_window_size(home, size)
        command = [SHELL]
    elif program == "minibrowser":
        command = [MINIBROWSER]
    else:
        # Debian's pywebview lives in the system interpreter's dist-packages.
        command = ["/usr/bin/python3", "-c", PYWEBVIEW]
    if case == "local" and program != "lumivant":
        command = [sys.executable, "-c", LAUNCHER, PYTHON] + command
    elif program != "lumivant":
        command = command + target
    count = len(stamps.times)
    start = time.monotonic()
    process = subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                               start_new_session=True)
    try:
        if not stamps.wait_beyond(count, 120):
            raise RuntimeError(f"{program}/{case}: no load event within 120 s")
        elapsed = stamps.times[count] - start
        time.sleep(1.0)  # let the page settle before reading memory; not part of the timing
        memory = memory_after_load(process.pid)
    finally:
        os.killpg(process.pid, signal.SIGTERM)
        try:
            process.wait(10)
        except subprocess.TimeoutExpired:
            os.killpg(process.pid, signal.SIGKILL)
            process.wait()
    return elapsed, memory


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--runs", type=int, default=10)
    parser.add_argument("--programs", default="lumivant,minibrowser,pywebview")
    parser.add_argument("--cases", default="server,local")
    parser.add_argument("--minibrowser-size", action="store_true",
                        help="open the shell and pywebview at MiniBrowser's fixed 1024x768 instead of "
                             "the shell's first-run 1280x840, so that memory that follows the "
                             "window's size compares like with like")
    args = parser.parse_args()

    stamps = Stamps()
    server = serve_ready_page(stamps)
    server_url = f"http://127.0.0.1:{server.server_address[1]}/"
    programs = args.programs.split(",")
    size = MINIBROWSER_SIZE if args.minibrowser_size else SHELL_FIRST_RUN_SIZE
    results = {}
    for case in args.cases.split(","):
        for run in range(args.runs):
            # Interleave the programs so that drift in the machine's load hits all alike.
            for program in programs:
                home = tempfile.mkdtemp(prefix="lumivant-bench-")
                try:
                    elapsed, memory = run_once(program, case, stamps, server_url, home, size)
                finally:
                    shutil.rmtree(home, ignore_errors=True)
                results.setdefault((case, program), []).append((elapsed, memory))
                print(f"{case:6} {program:12} run {run + 1:2}: {elapsed * 1000:7.0f} ms", file=sys.stderr)

    print("| case | program | median ms | min ms | max ms | stdev ms | own RSS MiB | web RSS MiB |")
    print("|---|---|---:|---:|---:|---:|---:|---:|")
    medians = {}
    for (case, program), rows in results.items():
        times = [r[0] * 1000 for r in rows]
        own = statistics.median(r[1][0] for r in rows)
        web = statistics.median(r[1][1] for r in rows)
        medians[(case, program)] = (statistics.median(times), own, web)
        print(f"| {case} | {program} | {statistics.median(times):.0f} | {min(times):.0f} | {max(times):.0f} "
              f"| {statistics.pstdev(times):.0f} | {own:.0f} | {web:.0f} |")
    print()
    print("| case | ratio | time | own RSS | web RSS |")
    print("|---|---|---:|---:|---:|")
    for case in args.cases.split(","):
        if (case, "lumivant") not in medians:
            continue
        shell = medians[(case, "lumivant")]
        for reference in programs:
            if reference == "lumivant" or (case, reference) not in medians:
                continue
            ref = medians[(case, reference)]
            ratios = [f"{a / b:.2f}" if b else "n/a" for a, b in zip(shell, ref)]
            print(f"| {case} | lumivant/{reference} | " + " | ".join(ratios) + " |")
    server.shutdown()


if __name__ == "__main__":
    main()
