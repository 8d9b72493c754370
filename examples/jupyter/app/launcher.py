"""Starts Debian's Jupyter Notebook as Lumivant's backend.

    python3 -B -m app.launcher start --port N --no-browser --exit-with-parent

What the shell asks of a backend, and how this launcher does it:

- Listen on 127.0.0.1:N and nowhere else, with SO_REUSEADDR (Tornado binds
  that way), and on no other port: Jupyter would otherwise try the next one.
- Serve the first page at http://127.0.0.1:N/ without a token or a password.
  Only programs of the user's own reach 127.0.0.1, and the shell's web view
  has no way to type a token.
- Answer GET /health/ready with 200 once pages can be served, and leave the
  readiness probe (three requests a second while the shell waits) out of the
  log: the shell shows the log's last 25 lines when the backend fails.
- With --exit-with-parent, stop soon after the shell's process has gone and
  shut the kernels down on the way out.

The notebooks are those of the directory given in LUMIVANT_NOTEBOOK_DIR, or of
the user's home directory, as Jupyter started from a desktop launcher has.
"""

import argparse
import os
import select
import sys
import threading

from notebook.notebookapp import NotebookApp
from tornado import web

READY_PATH = "/health/ready"
# How long the kernels get to shut down once the shell has gone.
SHUTDOWN_GRACE_SECONDS = 10


class ReadyHandler(web.RequestHandler):
    """The readiness probe: the server answers, so its pages can be served."""

    def get(self):
        self.set_header("Content-Type", "text/plain; charset=utf-8")
        self.set_header("Cache-Control", "no-store")
        self.finish("ready\n")


class ShellNotebookApp(NotebookApp):
    """Jupyter's notebook server with the readiness probe and a quiet log of it."""

    def init_webapp(self):
        super().init_webapp()
        # Rules added here are matched before the server's own, whose last
        # rule answers every other path with 404.
        self.web_app.add_handlers(".*$", [(READY_PATH, ReadyHandler)])
        log_request = self.web_app.settings["log_function"]

        def log_all_but_the_probe(handler):
            if handler.request.path != READY_PATH:
                log_request(handler)

        self.web_app.settings["log_function"] = log_all_but_the_probe


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
    app.initialize(notebook_arguments(args.port))
    if args.exit_with_parent:
        # The loop the server will run; the watcher only posts to it.
        from tornado import ioloop
        app.io_loop = ioloop.IOLoop.current()
        exit_with_parent(app)
    app.start()


if __name__ == "__main__":
    sys.exit(main())
