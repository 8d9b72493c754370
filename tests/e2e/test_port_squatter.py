"""A backend that binds its port itself (its bundle does not declare that it
takes the shell's socket): another local user who watches for the backend's
command line and binds its port before the backend does (a real backend
imports for a while first) is never shown: the shell sees that the answer on
the port is not its backend's, loads nothing from it, stops its backend and
says so on its message page."""

import os
import subprocess
import threading
import unittest

from harness import ShellTest, copy_bundle, wait_for
from other_user import other_user
from test_startup import LOADED, shell_backends

SQUATTER_USER = "lumivant-squatter"

# Run as the other user: finds the shell's backend among the shell's children
# (/proc/<pid>/stat and cmdline are readable by everyone), binds its port, and
# answers every request with 200, printing each request's target.
SQUATTER = r"""
import http.server, os, sys, time
shell = sys.argv[1]

def backend_port():
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            stat = open(f"/proc/{pid}/stat").read()
            args = open(f"/proc/{pid}/cmdline", "rb").read().decode().split("\0")
        except OSError:
            continue
        if stat.rsplit(")", 1)[1].split()[1] == shell and "--port" in args:
            return int(args[args.index("--port") + 1])

port = None
while port is None:
    port = backend_port()
    time.sleep(0.005)

class Answer(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        print("request", self.path, flush=True)
        body = b"<title>squatted</title>not the backend"
        self.send_response(200)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)
    def log_message(self, *args):
        pass

server = http.server.HTTPServer(("127.0.0.1", port), Answer)
print("listening", port, flush=True)
server.serve_forever()
"""


@unittest.skipUnless(os.geteuid() == 0, "needs root to create and act as another user")
class PortSquatterTest(ShellTest):
    def setUp(self):
        self.squatter_user = other_user(self, SQUATTER_USER)

    def test_another_users_program_on_the_backends_port_is_never_shown(self):
        # The backend takes long to bind, as one that imports a lot does.
        executable = copy_bundle(os.path.join(self.homes.root, "bundle"), takes_socket=False)
        shell = self.start_shell(executable=executable, env={"SAMPLE_BIND_DELAY": "5"})
        # Started as the other user itself, not through runuser, whose child
        # would outlive a kill of runuser.
        squatter = subprocess.Popen(
            ["python3", "-c", SQUATTER, str(shell.process.pid)], user=self.squatter_user.uid,
            group=self.squatter_user.gid, extra_groups=[], stdout=subprocess.PIPE,
            stderr=subprocess.STDOUT, text=True, cwd="/")
        self.addCleanup(squatter.wait)
        self.addCleanup(squatter.kill)
        lines = []
        reader = threading.Thread(target=lambda: lines.extend(squatter.stdout), daemon=True)
        reader.start()
        wait_for(lambda: any(line.startswith("listening") for line in lines), 60,
                 what=f"the squatter on the backend's port ({lines})")

        shell.wait_for_line("^" + LOADED + "$")
        self.assertEqual(shell.loaded_titles(), [""], "the message page and nothing before it")
        wait_for(lambda: not shell_backends(shell), 10, what="the backend stopped")
        shot = os.path.join(os.environ.get("LUMIVANT_SCREENSHOTS", self.homes.root),
                            "port-squatter.png")
        shell.screenshot(shot)
        self.assertEqual(shell.terminate(), 0)

        squatter.kill()
        reader.join(10)
        requests = [line.split()[1] for line in lines if line.startswith("request ")]
        self.assertEqual(set(requests), {"/health/ready"}, "only the probe reached it")


if __name__ == "__main__":
    unittest.main()
