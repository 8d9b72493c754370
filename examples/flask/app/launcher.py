"""Starts the Flask sample register as Lumivant's backend.

    python3 -B -m app.launcher start --port N --no-browser --exit-with-parent

What the shell asks of a backend, and how this launcher does it with Werkzeug's
own server (Flask's development server without its reloader and debugger):

- Listen on 127.0.0.1:N only; Werkzeug's server binds with SO_REUSEADDR.
- Answer GET /health/ready with 200: a plain WSGI middleware in front of the
  Flask app, so that no route or catch-all of the app can answer it first,
  and answer only once the server is built and serving.
- Leave the readiness probe out of Werkzeug's request log (the shell shows the
  log's last 25 lines when the backend fails).
- With --exit-with-parent, stop soon after the shell's process has gone.

The samples are kept in LUMIVANT_SAMPLES_DIR, or in ~/.local/share/samples.
"""

import argparse
import os
import select
import sys
import threading

from werkzeug.serving import WSGIRequestHandler, make_server

from app import create_app

READY_PATH = "/health/ready"


def with_readiness_probe(wsgi_app):
    """Answers the probe before the application sees it."""
    def application(environ, start_response):
        if environ.get("PATH_INFO") == READY_PATH:
            start_response("200 OK", [("Content-Type", "text/plain; charset=utf-8"),
                                      ("Cache-Control", "no-store")])
            return [b"ready\n"]
        return wsgi_app(environ, start_response)
    return application


class QuietProbeHandler(WSGIRequestHandler):
    """Werkzeug's request handler, logging every request but the probe's."""

    def log_request(self, *args, **kwargs):
        if self.path != READY_PATH:
            super().log_request(*args, **kwargs)


def open_parent_pidfd():
    """A pidfd on the shell that started us, or None when it has gone already
    (the sample backend's launcher explains why it is asked twice)."""
    parent = os.getppid()
    shell = os.environ.get("LUMIVANT_SHELL_PID")
    if shell is not None and shell != str(parent):
        return None
    pidfd = os.pidfd_open(parent)
    if os.getppid() != parent:
        os.close(pidfd)
        return None
    return pidfd


def exit_with_parent(server):
    pidfd = open_parent_pidfd()
    if pidfd is None:
        print("The shell has gone already; exiting.", flush=True)
        sys.exit(0)

    def watch():
        select.select([pidfd], [], [])
        print("The shell has gone; stopping.", flush=True)
        server.shutdown()

    threading.Thread(target=watch, name="exit-with-parent", daemon=True).start()


def main(argv=None):
    parser = argparse.ArgumentParser(prog="app.launcher")
    commands = parser.add_subparsers(dest="command", required=True)
    start = commands.add_parser("start", help="serve the sample register")
    start.add_argument("--port", type=int, required=True)
    start.add_argument("--no-browser", action="store_true", help="open no browser (never does)")
    start.add_argument("--exit-with-parent", action="store_true")
    args = parser.parse_args(argv)

    data = os.environ.get("LUMIVANT_SAMPLES_DIR") or os.path.expanduser("~/.local/share/samples")
    os.makedirs(data, exist_ok=True)
    application = with_readiness_probe(create_app(data))
    server = make_server("127.0.0.1", args.port, application, threaded=True,
                         request_handler=QuietProbeHandler)
    if args.exit_with_parent:
        exit_with_parent(server)
    print(f"Serving the sample register on http://127.0.0.1:{args.port}/", flush=True)
    server.serve_forever()
    return 0


if __name__ == "__main__":
    sys.exit(main())
