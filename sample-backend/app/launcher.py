"""Starts the sample backend.

    python3 -B -m app.launcher start --port N --no-browser --exit-with-parent

Listens on the socket the shell hands down as descriptor 3 (LISTEN_FDS=1 and
LISTEN_PID, as systemd's socket activation does), or else binds 127.0.0.1:N
itself, and answers only requests that present the shell's secret (the cookie
lumivant-backend-secret, whose value the shell gives in LUMIVANT_BACKEND_SECRET),
with 403 to every other one except the readiness probe. It answers
GET /health/ready with 200 once it is ready,
serves the pages under app/static/, streams a slow download on
/files/slow.bin, and exits with the status asked for on
/control/exit?code=N (3 asks the shell for a restart).

For tests it reads these environment variables of its own:
    SAMPLE_READY_DELAY=<seconds>      become ready only after this delay
    SAMPLE_NEVER_READY=1              never become ready (503 on the probe)
    SAMPLE_PROBE_STATUS=<code>        answer this status on the probe; a 3xx
                                      status redirects to a page answering 503
    SAMPLE_EXIT_BEFORE_READY=<status> exit with this status before listening
    SAMPLE_IGNORE_SIGTERM=1           ignore SIGTERM
    SAMPLE_CHILDREN=1                 start five sleeping children, as real
                                      backends start kernels and workers: one
                                      plain, one in a session of its own that
                                      ignores SIGTERM, one that detaches, one
                                      that detaches with an empty environment,
                                      one that detaches and overwrites its
                                      environment
    SAMPLE_BIND_DELAY=<seconds>       wait this long before binding the port,
                                      as a backend that imports a lot does
    SAMPLE_HOME_REDIRECT=<url>        answer GET / with a redirect to <url>
    SAMPLE_READY_FILE=<path>          be ready only while this file exists
    SAMPLE_START_AFTER=<path>         do nothing, not even look for the shell,
                                      until this file exists, as a backend
                                      busy importing does
"""

import argparse
import atexit
import hmac
import http.server
import mimetypes
import os
import select
import signal
import socket
import subprocess
import sys
import threading
import time
import urllib.parse
import urllib.request

STATIC_ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "static")
READY_PATH = "/health/ready"
NOT_READY_PATH = "/health/not-ready"
SECRET_COOKIE = "lumivant-backend-secret"


def log(message):
    print(f"sample backend: {message}", flush=True)


# How many form posts /form/result has answered.
FORM_POSTS = 0
FORM_POSTS_LOCK = threading.Lock()

# The children this backend started itself, ended when it goes if it was
# told --exit-with-parent.
CHILDREN = []
ENDS_CHILDREN = False

SLEEPER = """
import os, signal, sys, time
kind = sys.argv[2]
if kind == "session":
    signal.signal(signal.SIGTERM, signal.SIG_IGN)
if kind in ("detached", "cleared", "retitled"):
    if kind != "cleared":  # started by setsid already
        os.setsid()
    if os.fork():
        os._exit(0)
if kind == "retitled":
    # Overwrites its environment strings in place, as programs that set their
    # process title do: /proc/<pid>/environ then shows nothing of them.
    with open("/proc/self/stat") as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    start, end = int(fields[47]), int(fields[48])  # env_start, env_end
    with open("/proc/self/mem", "r+b", buffering=0) as memory:
        memory.seek(start)
        memory.write(bytes(end - start))
print(f"sample child {kind} pid={os.getpid()}", flush=True)
while True:
    time.sleep(3600)
"""


def start_children(tag):
    """Starts the five kinds of children that a real backend's kernels,
    workers and daemons are: each runs "-c <sleeper> sample-child <kind> <tag>"."""
    for kind in ("plain", "session", "detached", "cleared", "retitled"):
        command = [sys.executable, "-c", SLEEPER, "sample-child", kind, tag]
        if kind == "cleared":
            # A session of its own and an empty environment, then a double fork.
            command = ["setsid", "env", "-i", *command]
        child = subprocess.Popen(command, start_new_session=(kind == "session"))
        if kind in ("detached", "cleared", "retitled"):
            child.wait()  # the go-between exits at once; its child lives on
        else:
            CHILDREN.append(child)


def end_children():
    """Asks the children this backend started to end; a parent that goes
    without doing so leaves them running."""
    if not ENDS_CHILDREN:
        return
    for child in CHILDREN:
        if child.poll() is None:
            child.terminate()


def take_shell_secret(environ):
    """The secret the shell gave us, taken out of the environment so that the
    processes we start do not inherit it. Without one nobody gets in."""
    return environ.pop("LUMIVANT_BACKEND_SECRET", "")


def presents_secret(cookie_header, secret):
    """Whether a Cookie header presents the shell's secret, compared in
    constant time."""
    if not secret:
        return False
    for pair in cookie_header.split(";"):
        name, _, value = pair.strip().partition("=")
        if name == SECRET_COOKIE and hmac.compare_digest(value.encode(), secret.encode()):
            return True
    return False


def socket_from_shell(environ):
    """The listening socket the shell hands down as descriptor 3, or None
    when it handed none (sd_listen_fds(3): LISTEN_PID names this process)."""
    if environ.get("LISTEN_PID") != str(os.getpid()) or environ.get("LISTEN_FDS") != "1":
        return None
    for name in ("LISTEN_PID", "LISTEN_FDS", "LISTEN_FDNAMES"):
        environ.pop(name, None)
    # Ours alone: the processes we start do not inherit it.
    os.set_inheritable(3, False)
    return socket.socket(fileno=3)


class Readiness:
    """When the backend counts as ready, and what the probe answers then."""

    def __init__(self, environ):
        self.ready_at = time.monotonic() + float(environ.get("SAMPLE_READY_DELAY") or 0)
        self.never = environ.get("SAMPLE_NEVER_READY") == "1"
        self.status_when_ready = int(environ.get("SAMPLE_PROBE_STATUS") or 200)
        self.ready_file = environ.get("SAMPLE_READY_FILE")

    def probe_status(self):
        if self.never or time.monotonic() < self.ready_at:
            return 503
        if self.ready_file and not os.path.exists(self.ready_file):
            return 503
        return self.status_when_ready


class Handler(http.server.BaseHTTPRequestHandler):
    server_version = "SampleBackend/1.0"
    protocol_version = "HTTP/1.1"

    def parse_request(self):
        """Every request, whatever its method, WebSocket handshakes included,
        must present the shell's secret; only the readiness probe need not.
        Refused ones stay out of the log, so that nobody can fill it."""
        if not super().parse_request():
            return False
        # The probe, and the page its redirect (SAMPLE_PROBE_STATUS=3xx) leads to.
        if urllib.parse.urlsplit(self.path).path in (READY_PATH, NOT_READY_PATH):
            return True
        # Started by hand without a secret (--without-secret): open to all.
        if self.server.secret is None:
            return True
        cookies = "; ".join(self.headers.get_all("Cookie") or [])
        if presents_secret(cookies, self.server.secret):
            return True
        self.refused = True
        self.send_text(403, "forbidden\n", close=True)
        return False

    def log_request(self, code="-", size="-"):
        if not getattr(self, "refused", False):
            super().log_request(code, size)

    def do_GET(self):
        self.route()

    def do_POST(self):
        # Read what was sent, so that closing the connection never resets it
        # under an answer still on its way.
        length = int(self.headers.get("Content-Length") or 0)
        if length:
            self.rfile.read(length)
        self.route()

    def route(self):
        url = urllib.parse.urlsplit(self.path)
        home_redirect = os.environ.get("SAMPLE_HOME_REDIRECT")
        if url.path == "/" and home_redirect:
            self.redirect(home_redirect)
        elif url.path == READY_PATH:
            self.answer_probe()
        elif url.path == NOT_READY_PATH:
            self.send_text(503, "not ready\n")
        elif url.path == "/control/exit":
            self.exit_on_request(urllib.parse.parse_qs(url.query))
        elif url.path == "/files/slow.bin":
            self.send_slow_download(urllib.parse.parse_qs(url.query))
        elif url.path in ("/viewport", "/noted"):
            # A page's report of itself (the downloads page's height, the
            # leave page's unsaved notes): the request line in the log is all
            # there is to it.
            self.send_response(204)
            self.send_header("Content-Length", "0")
            self.end_headers()
        elif url.path.startswith("/export/") and self.command == "GET":
            self.send_attachment(url.path[len("/export/"):])
        elif url.path == "/form/result" and self.command == "POST":
            self.send_form_result()
        elif url.path == "/bench/loaded" and self.command == "POST":
            self.report_load_event()
        elif self.command == "GET":
            self.send_static(urllib.parse.unquote(url.path))
        else:
            self.send_text(405, "method not allowed\n")

    def redirect(self, location):
        self.send_response(302)
        self.send_header("Location", location)
        self.send_header("Content-Length", "0")
        self.end_headers()

    def send_form_result(self):
        """The page a form post answers with; its title counts the posts, so
        that a post sent again shows."""
        with FORM_POSTS_LOCK:
            global FORM_POSTS
            FORM_POSTS += 1
            count = FORM_POSTS
        body = ("<!DOCTYPE html><html lang=\"zh-CN\"><head><meta charset=\"utf-8\">"
                f"<title>已提交 {count} 次</title></head><body><h1>已提交 {count} 次</h1>"
                "<p>按 F5 重新载入会先问要不要重新提交。</p></body></html>").encode()
        self.send_response(200)
        self.send_header("Content-Type", "text/html; charset=utf-8")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def send_attachment(self, name):
        """A file of static/files/ as an attachment: a type the view could
        show, which the user still wants saved."""
        file_path = resolve_static("/files/" + name)
        if file_path is None:
            self.send_text(404, "not found\n")
            return
        with open(file_path, "rb") as source:
            body = source.read()
        self.send_response(200)
        self.send_header("Content-Type", "text/csv; charset=utf-8")
        self.send_header("Content-Disposition", f'attachment; filename="{os.path.basename(file_path)}"')
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def answer_probe(self):
        status = self.server.readiness.probe_status()
        if 300 <= status < 400:
            self.send_response(status)
            self.send_header("Location", NOT_READY_PATH)
            self.send_header("Content-Length", "0")
            self.end_headers()
        elif status in (204, 304) or status < 200:
            self.send_response(status)
            self.end_headers()
        else:
            self.send_text(status, "ready\n" if status == 200 else "not ready\n")

    def report_load_event(self):
        """The start-up benchmark's beacon: the page's load event, stamped on
        arrival and passed on to SAMPLE_BENCH_STAMP_URL when one is set."""
        moment = time.monotonic()
        self.send_response(204)
        self.send_header("Content-Length", "0")
        self.end_headers()
        target = os.environ.get("SAMPLE_BENCH_STAMP_URL")
        if target:
            request = urllib.request.Request(target, data=repr(moment).encode(), method="POST")
            threading.Thread(target=lambda: urllib.request.urlopen(request, timeout=10).read(),
                             daemon=True).start()

    def exit_on_request(self, query):
        try:
            code = int(query.get("code", ["0"])[0])
        except ValueError:
            self.send_text(400, "code must be an integer\n")
            return
        self.send_text(200, f"exiting with status {code}\n", close=True)
        self.wfile.flush()
        log(f"exiting with status {code} on request")
        end_children()
        os._exit(code)

    def send_slow_download(self, query):
        """A file of zeros that takes its time, as a large data set on a slow
        disk or network would: ?mb=6 (MiB), ?seconds=4 to send it all,
        ?length=unknown to send it without a Content-Length, and ?cut=2 to
        announce the whole size but close the connection after 2 MiB, as a
        server that fails halfway does."""
        try:
            size = int(float(query.get("mb", ["6"])[0]) * 1024 * 1024)
            seconds = float(query.get("seconds", ["4"])[0])
            cut = int(float(query["cut"][0]) * 1024 * 1024) if "cut" in query else None
        except ValueError:
            self.send_text(400, "mb, seconds and cut must be numbers\n")
            return
        known = query.get("length", ["known"])[0] != "unknown"
        chunk = 64 * 1024
        pieces = max(1, -(-size // chunk))
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Disposition", 'attachment; filename="slow-data.bin"')
        self.send_header("Cache-Control", "no-store")
        if known:
            self.send_header("Content-Length", str(size))
        else:
            self.send_header("Connection", "close")
            self.close_connection = True
        self.end_headers()
        sent = 0
        stop = size if cut is None else min(cut, size)
        if cut is not None:
            self.close_connection = True
        try:
            while sent < stop:
                piece = min(chunk, stop - sent)
                self.wfile.write(bytes(piece))
                self.wfile.flush()
                sent += piece
                time.sleep(seconds / pieces)
        except (BrokenPipeError, ConnectionResetError):
            log(f"slow download stopped by the client after {sent} bytes")
            return
        if sent < size:
            log(f"slow download cut off after {sent} of {size} bytes")

    def send_static(self, path):
        file_path = resolve_static(path)
        if file_path is None:
            self.send_text(404, "not found\n")
            return
        content_type = mimetypes.guess_type(file_path)[0] or "application/octet-stream"
        if content_type.startswith("text/") or content_type == "application/javascript":
            content_type += "; charset=utf-8"
        with open(file_path, "rb") as source:
            body = source.read()
        self.send_response(200)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Cache-Control", "no-store")
        self.end_headers()
        self.wfile.write(body)

    def send_text(self, status, text, close=False):
        body = text.encode("utf-8")
        self.send_response(status)
        self.send_header("Content-Type", "text/plain; charset=utf-8")
        self.send_header("Content-Length", str(len(body)))
        if close:
            self.send_header("Connection", "close")
            self.close_connection = True
        self.end_headers()
        self.wfile.write(body)


def resolve_static(path):
    """The file under STATIC_ROOT that a URL path names, or None; never a file outside it."""
    relative = path.lstrip("/")
    candidate = os.path.realpath(os.path.join(STATIC_ROOT, relative))
    root = os.path.realpath(STATIC_ROOT)
    if os.path.commonpath([candidate, root]) != root:
        return None
    if os.path.isdir(candidate):
        candidate = os.path.join(candidate, "index.html")
    return candidate if os.path.isfile(candidate) else None


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    # SO_REUSEADDR, when it binds the port itself: the shell gives a restarted
    # backend the port of the one before it, whose last connections may still
    # linger in TIME_WAIT.
    allow_reuse_address = True

    def __init__(self, port, readiness, secret, listening=None):
        self.readiness = readiness
        self.secret = secret
        super().__init__(("127.0.0.1", port), Handler, bind_and_activate=listening is None)
        if listening is not None:
            self.socket.close()
            self.socket = listening
            self.server_address = listening.getsockname()


def open_parent_pidfd():
    """A pidfd on the shell that started us, or None when it has gone already.

    The shell tells its process id in LUMIVANT_SHELL_PID. A backend whose
    parent is another process by the time it looks was started by a shell
    that has ended since (orphans are handed to init, or to whoever reaps
    them), and it must not watch that process instead. The parent is asked
    again once the pidfd is open: had it ended in between, the pidfd could
    name a process that was given its id since.
    """
    parent = os.getppid()
    shell = os.environ.get("LUMIVANT_SHELL_PID")
    if shell is not None and shell != str(parent):
        return None
    pidfd = os.pidfd_open(parent)
    if os.getppid() != parent:
        os.close(pidfd)
        return None
    return pidfd


def exit_with_parent():
    """Exits at once when the shell that started us has gone already, and
    otherwise soon after it goes.

    PR_SET_PDEATHSIG would be wrong here: it fires when the parent *thread*
    ends, and the shell starts its backend from a worker thread that ends
    right after the start. A pidfd on the parent process follows the whole
    process.
    """
    pidfd = open_parent_pidfd()
    if pidfd is None:
        log("the shell has gone already; exiting")
        end_children()
        os._exit(0)

    def watch():
        select.select([pidfd], [], [])
        log("parent process has gone; exiting")
        end_children()
        os._exit(0)

    threading.Thread(target=watch, name="exit-with-parent", daemon=True).start()


def serve(args, environ):
    secret = None if args.without_secret else take_shell_secret(environ)
    listening = socket_from_shell(environ)
    start_after = environ.get("SAMPLE_START_AFTER")
    if start_after:
        log(f"waiting for {start_after}")
        while not os.path.exists(start_after):
            time.sleep(0.05)
    if environ.get("SAMPLE_IGNORE_SIGTERM") == "1":
        signal.signal(signal.SIGTERM, signal.SIG_IGN)
        log("ignoring SIGTERM")
    else:
        signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    if args.exit_with_parent:
        # Whatever ends this backend ends its children too: the shell cannot
        # reach them once it has been killed itself.
        global ENDS_CHILDREN
        ENDS_CHILDREN = True
        exit_with_parent()
        atexit.register(end_children)
    if environ.get("SAMPLE_CHILDREN") == "1":
        start_children(str(args.port))

    exit_before_ready = environ.get("SAMPLE_EXIT_BEFORE_READY")
    if exit_before_ready:
        log(f"exiting with status {exit_before_ready} before becoming ready")
        sys.exit(int(exit_before_ready))

    bind_delay = float(environ.get("SAMPLE_BIND_DELAY") or 0)
    if bind_delay:
        log(f"importing for {bind_delay} s before binding")
        time.sleep(bind_delay)
    server = Server(args.port, Readiness(environ), secret, listening)
    print(f"sample backend listening on 127.0.0.1:{args.port}", flush=True)
    try:
        server.serve_forever()
    finally:
        server.server_close()
        log("stopped")


def main(argv=None):
    parser = argparse.ArgumentParser(prog="app.launcher")
    commands = parser.add_subparsers(dest="command", required=True)
    start = commands.add_parser("start", help="serve the application")
    start.add_argument("--port", type=int, required=True)
    start.add_argument("--no-browser", action="store_true", help="do not open a browser (never does)")
    start.add_argument("--exit-with-parent", action="store_true")
    start.add_argument("--without-secret", action="store_true",
                       help="answer every request, without the shell's secret: only for "
                            "browsers other than the shell, such as a benchmark's references; "
                            "every local user can then reach the app")
    args = parser.parse_args(argv)
    if args.command == "start":
        serve(args, os.environ)


if __name__ == "__main__":
    main()
