"""The backend answers only the shell that started it. Another local user who
finds its port is refused with 403, WebSocket handshakes included, while the
app works in the view; and a page of the app that loads an image, a script, a
fetch and a WebSocket from that user's server on another local port (as an
untrusted notebook's markdown could) reaches nothing there and hands it no
secret, whichever loopback spelling it uses. A backend that binds its port
itself answers a secret of its own, and once it ended the page's calls to its
port reach nobody who took it."""

import os
import socket
import time
import unittest

from browser_support import RecordingServer
from harness import ShellTest, ask_backend, backend_secret, copy_bundle, wait_for
from other_user import NEEDS_ROOT, other_user
from test_startup import LOADED, port_of, shell_backends

PAGE_TRIED = "本机的其他端口：试完了；本站 200"

# Run as the other user with a port: sends the backend what a stranger would
# and prints each answer's status line.
KNOCKER = r"""
import socket, sys
port = int(sys.argv[1])
requests = {
    "page": "GET / HTTP/1.1\r\n",
    "exit": "POST /control/exit?code=3 HTTP/1.1\r\nContent-Length: 0\r\n",
    "websocket": ("GET /socket HTTP/1.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                  "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n"
                  f"Origin: http://127.0.0.1:{port}\r\n"),
    "guessed secret": "GET / HTTP/1.1\r\nCookie: lumivant-backend-secret=0\r\n",
    "probe": "GET /health/ready HTTP/1.1\r\n",
}
for name, head in requests.items():
    with socket.create_connection(("127.0.0.1", port), timeout=10) as connection:
        connection.sendall((head + f"Host: 127.0.0.1:{port}\r\nConnection: close\r\n\r\n").encode())
        status = connection.makefile("rb").readline().decode().split()[1]
    print(name, status, flush=True)
"""

# Run as the other user: a server on every loopback address (a dual-stack [::])
# of a free port that prints the first lines of whatever reaches it.
LISTENER = r"""
import socket, sys, threading
printing = threading.Lock()
server = socket.socket(socket.AF_INET6)
server.setsockopt(socket.IPPROTO_IPV6, socket.IPV6_V6ONLY, 0)
server.bind(("::", 0))
server.listen(64)
print("listening", server.getsockname()[1], flush=True)

def serve(connection):
    with connection:
        head = b""
        while b"\r\n\r\n" not in head:
            chunk = connection.recv(4096)
            if not chunk:
                break
            head += chunk
        lines = head.decode("latin-1").split("\r\n")
        hosts = [line.split(":", 1)[1].strip() for line in lines if line.lower().startswith("host:")]
        cookies = [line for line in lines if line.lower().startswith("cookie:")]
        with printing:
            sys.stdout.write(f"request {lines[0]} | {' '.join(hosts)} | {' '.join(cookies)}\n")
            sys.stdout.flush()
        connection.sendall(b"HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n")

while True:
    connection, _ = server.accept()
    threading.Thread(target=serve, args=(connection,), daemon=True).start()
"""


# Run as the other user with a port: once told (a line on its input), binds
# the port on 127.0.0.1 as soon as it is free and prints the first line and the
# cookies of whatever reaches it there.
TAKER = r"""
import socket, sys, threading, time
port = int(sys.argv[1])
sys.stdin.readline()
server = socket.socket()
server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
while True:
    try:
        server.bind(("127.0.0.1", port))
        break
    except OSError:
        time.sleep(0.002)
server.listen(64)
print("listening", port, flush=True)

def serve(connection):
    with connection:
        head = b""
        while b"\r\n\r\n" not in head:
            chunk = connection.recv(4096)
            if not chunk:
                break
            head += chunk
        lines = head.decode("latin-1").split("\r\n")
        cookies = [line for line in lines if line.lower().startswith("cookie:")]
        print(f"request {lines[0]} | {' '.join(cookies)}", flush=True)
        connection.sendall(b"HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n")

while True:
    connection, _ = server.accept()
    threading.Thread(target=serve, args=(connection,), daemon=True).start()
"""

POLL_TITLE = "一直在问"


def request_count(listener):
    return sum(1 for line in listener.lines() if line.startswith("request "))


@NEEDS_ROOT
class BackendSecretTest(ShellTest):
    def start_stranger(self):
        """The stranger's server, with the port it listens on."""
        stranger = other_user(self, "lumivant-stranger")
        listener = stranger.start(LISTENER)
        self.addCleanup(listener.stop)
        other_port = int(listener.wait_for_line("listening").split()[1])
        # Reachable on every spelling the page uses: what reaches it is seen.
        for host in ("127.0.0.1", "::1", "127.0.0.2", "0.0.0.0"):
            with socket.create_connection((host, other_port), timeout=10) as knock:
                knock.sendall(b"GET /knock HTTP/1.1\r\n\r\n")
                self.assertTrue(knock.recv(100).startswith(b"HTTP/1.1 404"))
        wait_for(lambda: request_count(listener) >= 4, 10,
                 what=f"the test's own knocks seen ({listener.lines()})")
        return stranger, listener, other_port

    def test_an_organisation_servers_page_is_not_confined(self):
        """The same page from an organisation server, which is given no secret,
        reaches the other port on every spelling, WebSockets included: the
        page tries what the confined one is refused."""
        _, listener, other_port = self.start_stranger()
        server = RecordingServer(start_page=f"/loopback.html?port={other_port}")
        self.addCleanup(server.close)
        server.use_as_organisation_server(self.homes)
        shell = self.start_shell()
        shell.wait_for_line("^" + LOADED + "本机的其他端口：试完了", timeout=90)
        reached = {line.split()[2] + " " + line.split("|")[1].strip().rsplit(":", 1)[0]
                   for line in listener.lines()[5:]}
        # The engine itself refuses 0.0.0.0 to web pages.
        self.assertEqual(reached, {f"{kind} {host}"
                                   for kind in ("/image", "/script", "/fetch", "/socket")
                                   for host in ("127.0.0.1", "localhost", "[::1]", "127.0.0.2")})
        self.assertEqual(shell.terminate(), 0)

    def test_another_user_is_refused_and_a_page_reaches_no_other_local_port(self):
        stranger, listener, other_port = self.start_stranger()

        shell = self.start_shell(env={"SAMPLE_HOME_REDIRECT": f"/loopback.html?port={other_port}"})
        shell.wait_for_line("^" + LOADED + PAGE_TRIED + "$", timeout=90)
        (backend,) = shell_backends(shell)
        port = port_of(backend)
        self.assertEqual(request_count(listener), 4, f"nothing of the page's: {listener.lines()}")
        self.assertNotIn(backend_secret(backend), "\n".join(listener.lines()))

        answers = dict(line.rsplit(" ", 1) for line in stranger.run(KNOCKER, port))
        self.assertEqual(answers, {"page": "403", "exit": "403", "websocket": "403",
                                   "guessed secret": "403", "probe": "200"})
        # The same page with the secret: what the view is given.
        self.assertIn(b"<html", ask_backend(backend, port, "/index.html"))
        self.assertEqual(shell_backends(shell), [backend], "the stranger stopped nothing")
        self.assertEqual(shell.terminate(), 0)

    def test_a_port_the_backend_bound_itself_gets_nothing_once_the_backend_ended(self):
        """A bundle whose backend binds its port itself: its page calls the
        backend 20 times a second. The backend asks to be restarted, and
        another user takes its port before the next backend can bind it:
        nothing of the page, and no secret, reaches that user, and the next
        backend answers a secret of its own. Opened again, the app runs on
        a port of its own."""
        executable = copy_bundle(os.path.join(self.homes.root, "bundle"), takes_socket=False)
        gate = os.path.join(self.homes.root, "go")
        open(gate, "w").close()
        shell = self.start_shell(executable=executable,
                                 env={"SAMPLE_HOME_REDIRECT": "/poll.html", "SAMPLE_START_AFTER": gate})
        shell.wait_for_line("^" + LOADED + POLL_TITLE + "$", timeout=90)
        (first,) = shell_backends(shell)
        port = port_of(first)
        first_secret = backend_secret(first)
        taker = other_user(self, "lumivant-taker").start(TAKER, port)
        self.addCleanup(taker.stop)

        # The next backend waits before it binds, as one that imports a lot:
        # the other user takes the port meanwhile.
        os.remove(gate)
        self.addCleanup(lambda: open(gate, "w").close())  # nothing waits for it for ever
        start = len(shell.stderr_lines())
        ask_backend(first, port, "/control/exit?code=3", method="POST")
        (second,) = wait_for(lambda: [pid for pid in shell_backends(shell) if pid != first], 30,
                             what="the next backend launched")
        self.assertNotEqual(backend_secret(second), first_secret)
        taker.process.stdin.write("take\n")
        taker.process.stdin.flush()
        taker.wait_for_line("listening")
        # What does not reach the other user shows only over a span: the page
        # calls 20 times a second meanwhile.
        time.sleep(1)
        open(gate, "w").close()
        # The next backend cannot have the port: the message page says so.
        shell.wait_for_line("^" + LOADED + "$", start=start)
        self.assertEqual(shell.terminate(), 0)

        shell = self.start_shell(executable=executable,
                                 env={"SAMPLE_HOME_REDIRECT": "/poll.html", "SAMPLE_START_AFTER": gate})
        shell.wait_for_line("^" + LOADED + POLL_TITLE + "$", timeout=90)
        (last,) = shell_backends(shell)
        self.assertNotEqual(port_of(last), port)
        self.assertEqual(shell.terminate(), 0)
        taker.stop()
        reached = [line for line in taker.lines() if line.startswith("request ")]
        self.assertEqual({line.split()[2] for line in reached} - {"/health/ready"}, set(),
                         f"only the shell's probe reached the port: {reached}")
        self.assertFalse([line for line in reached if "cookie" in line.lower()], reached)


if __name__ == "__main__":
    unittest.main()
