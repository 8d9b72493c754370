"""Starts Debian's Jupyter Notebook as Lumivant's backend.

    python3 -B -m app.launcher start --port N --no-browser --exit-with-parent

What the shell asks of a backend, and how this launcher does it:

- Serve on the listening socket the shell holds for 127.0.0.1:N and hands
  down as descriptor 3 (LISTEN_FDS=1, LISTEN_PID; the bundle's Info.json says
  LumivantBackendTakesSocket), so that no other program can take the port
  while the shell runs. Started without one, listen on 127.0.0.1:N itself,
  and on no other port: Jupyter would otherwise try the next one.
- Answer only requests that present the shell's secret: every user of the
  machine reaches 127.0.0.1, and a notebook server runs code as the user. The
  shell gives the secret in LUMIVANT_BACKEND_SECRET and its web view presents
  it as the cookie lumivant-backend-secret with every request, WebSocket
  handshakes included. Every other request is refused with 403 before Jupyter
  sees it, and Jupyter's own authentication accepts that cookie and nothing
  else (no token, no password: the first page is http://127.0.0.1:N/, and the
  secret never appears in a URL or the log). Jupyter's XSRF check stays on.
- Answer GET /health/ready with 200 once pages can be served, and leave the
  readiness probe (three requests a second while the shell waits) out of the
  log: the shell shows the log's last 25 lines when the backend fails. Refused
  requests stay out of it too, so that nobody can fill it.
- With --exit-with-parent, stop soon after the shell's process has gone and
  shut the kernels down on the way out.

The notebooks are those of the directory given in LUMIVANT_NOTEBOOK_DIR, or of
the user's home directory, as Jupyter started from a desktop launcher has.
"""

import argparse
import hmac
import os
import select
import socket
import sys
import threading

from notebook.auth.login import LoginHandler
from notebook.notebookapp import NotebookApp
from tornado import web

READY_PATH = "/health/ready"
SECRET_COOKIE = "lumivant-backend-secret"
SECRET_SETTING = "lumivant_backend_secret"
# How long the kernels get to shut down once the shell has gone.
SHUTDOWN_GRACE_SECONDS = 10


class ReadyHandler(web.RequestHandler):
    """The readiness probe: the server answers, so its pages can be served."""

    def get(self):
        self.set_header("Content-Type", "text/plain; charset=utf-8")
        self.set_header("Cache-Control", "no-store")
        self.finish("ready\n")


def presents_secret(cookie_header, secret):
    """Whether a Cookie header presents the shell's secret, compared in
    constant time. Without a secret nobody gets in."""
    if not secret:
        return False
    for pair in cookie_header.split(";"):
        name, _, value = pair.strip().partition("=")
        if name == SECRET_COOKIE and hmac.compare_digest(value.encode(), secret.encode()):
            return True
    return False


def socket_from_shell():
    """The listening socket the shell hands down as descriptor 3, or None
    when it handed none (sd_listen_fds(3): LISTEN_PID names this process)."""
    if os.environ.get("LISTEN_PID") != str(os.getpid()) or os.environ.get("LISTEN_FDS") != "1":
        return None
    for name in ("LISTEN_PID", "LISTEN_FDS", "LISTEN_FDNAMES"):
        os.environ.pop(name, None)
    # Ours alone: kernels and terminals do not inherit it.
    os.set_inheritable(3, False)
    listening = socket.socket(fileno=3)
    listening.setblocking(False)  # as Tornado's own sockets are
    return listening


class RefusedHandler(web.RequestHandler):
    """Every request that does not present the shell's secret."""

    def prepare(self):
        raise web.HTTPError(403)


class ShellLoginHandler(LoginHandler):
    """Jupyter's authentication by the shell's secret: the user is the
    researcher when the request presents it, and nobody otherwise. Requests
    that do not present it never get this far; this is the second lock. The
    request does not count as token-authenticated, so Jupyter still checks
    its XSRF cookie and the WebSocket's origin."""

    @classmethod
    def get_user(cls, handler):
        if getattr(handler, "_user_id", None) is None:
            secret = handler.settings.get(SECRET_SETTING, "")
            presented = presents_secret(handler.request.headers.get("Cookie", ""), secret)
            handler._user_id = "researcher" if presented else None
        return handler._user_id

    @classmethod
    def get_login_available(cls, settings):
        return True

    @classmethod
    def validate_security(cls, app, ssl_options=None):
        """Jupyter would warn that authentication is off: it is the shell's."""


class ShellNotebookApp(NotebookApp):
    """Jupyter's notebook server on the shell's socket, for the shell's secret
    only, with the readiness probe and a quiet log of it."""

    shell_secret = ""
    shell_socket = None

    def init_webapp(self):
        self.tornado_settings[SECRET_SETTING] = self.shell_secret
        super().init_webapp()
        # Rules added here are matched before the server's own, whose last
        # rule answers every other path with 404.
        self.web_app.add_handlers(".*$", [(READY_PATH, ReadyHandler)])
        self.admit_only_the_shell()
        log_request = self.web_app.settings["log_function"]

        def log_all_but_the_probe_and_the_refused(handler):
            if handler.request.path != READY_PATH and not isinstance(handler, RefusedHandler):
                log_request(handler)

        self.web_app.settings["log_function"] = log_all_but_the_probe_and_the_refused

    def admit_only_the_shell(self):
        """Routes every request without the secret, whatever its path and
        method, WebSocket handshakes included, to the refusal."""
        application = self.web_app
        find_handler = application.find_handler
        secret = self.shell_secret

        def only_the_shell(request, **kwargs):
            if request.path == READY_PATH or presents_secret(request.headers.get("Cookie", ""),
                                                             secret):
                return find_handler(request, **kwargs)
            return application.get_handler_delegate(request, RefusedHandler)

        application.find_handler = only_the_shell

    def _bind_http_server(self):
        if self.shell_socket is None:
            return super()._bind_http_server()
        self.http_server.add_socket(self.shell_socket)
        return True


def open_parent_pidfd():
    """A pidfd on the shell that started us, or None when it has gone already.

    The shell tells its process id in LUMIVANT_SHELL_PID. A server whose
    parent is another process by the time it looks was started by a shell
    that has ended since, and must not watch that process instead. The parent
    is asked again once the pidfd is open: had it ended in between, the pidfd
    could name a process that was given its id since.
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


def exit_with_parent(app):
    """Stops the server soon after the process that started it has gone; the
    server then shuts its kernels down (and exits anyway if that hangs). A
    server started by a shell that has gone already exits at once: it has no
    kernels yet.

    PR_SET_PDEATHSIG would be wrong here: it fires when the parent *thread*
    ends, and the shell starts its backend from a worker thread. A pidfd on the
    parent process follows the whole process.
    """
    pidfd = open_parent_pidfd()
    if pidfd is None:
        app.log.info("The shell has gone already; exiting.")
        sys.exit(0)

    def watch():
        select.select([pidfd], [], [])
        app.log.info("The shell has gone; stopping the server and its kernels.")
        app.io_loop.add_callback_from_signal(app.io_loop.stop)
        threading.Timer(SHUTDOWN_GRACE_SECONDS, os._exit, args=(0,)).start()

    threading.Thread(target=watch, name="exit-with-parent", daemon=True).start()


def notebook_arguments(port):
    directory = os.environ.get("LUMIVANT_NOTEBOOK_DIR") or os.path.expanduser("~")
    return [
        "--ip=127.0.0.1",
        f"--port={port}",
        "--port-retries=0",
        "--no-browser",
        "--NotebookApp.token=",
        "--NotebookApp.password=",
        "--NotebookApp.login_handler_class=app.launcher.ShellLoginHandler",
        # The shell owns the server's life: a Quit button in the page would
        # leave the window with a message page about an ended backend.
        "--NotebookApp.quit_button=False",
        # Jupyter refuses root because a root server on a network is
        # dangerous; this one listens on 127.0.0.1 only.
        "--allow-root",
        f"--notebook-dir={directory}",
    ]


def main(argv=None):
    parser = argparse.ArgumentParser(prog="app.launcher")
    commands = parser.add_subparsers(dest="command", required=True)
    start = commands.add_parser("start", help="serve the notebooks")
    start.add_argument("--port", type=int, required=True)
    start.add_argument("--no-browser", action="store_true", help="open no browser (never does)")
    start.add_argument("--exit-with-parent", action="store_true")
    args = parser.parse_args(argv)

    app = ShellNotebookApp.instance()
    # Out of the environment, so that kernels and terminals do not inherit it.
    app.shell_secret = os.environ.pop("LUMIVANT_BACKEND_SECRET", "")
    app.shell_socket = socket_from_shell()
    app.initialize(notebook_arguments(args.port))
    if args.exit_with_parent:
        # The loop the server will run; the watcher only posts to it.
        from tornado import ioloop
        app.io_loop = ioloop.IOLoop.current()
        exit_with_parent(app)
    app.start()


if __name__ == "__main__":
    sys.exit(main())
