"""Another local user who tries, in a tight loop, to bind the backend's port
(on 127.0.0.1, with SO_REUSEADDR, with SO_REUSEPORT, on every IPv4 address and
on a dual-stack [::]) gets it at no moment of a run: not at launch, not while
the backend restarts on its own request, not while the user restarts it after
a crash. The shell holds the listening socket for the whole run and hands it to
every backend, so the app's origin never moves."""

import os
import signal
import unittest

from browser_support import keys
from harness import ShellTest, ask_backend, backend_processes, wait_for
from other_user import NEEDS_ROOT, other_user
from test_startup import HOME_TITLE, LOADED, port_of, shell_backends

# Run as the other user with the shell's pid: finds the port of the shell's
# backend on its command line (readable by everyone) and from then on binds it
# again and again in every way a server can, asking the backend to exit with
# status 3 in between, as the attacker who watched the socket table did.
# Prints "tried <port> <count>" every 50 ms, "bound <port> <how>" when a bind
# succeeds and "took <port> <how>" when it could listen there too.
ATTACKER = r"""
import os, socket, sys, time, urllib.request
shell = sys.argv[1]

def backend_ports():
    ports = set()
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            stat = open(f"/proc/{pid}/stat").read()
            args = open(f"/proc/{pid}/cmdline", "rb").read().decode().split("\0")
        except OSError:
            continue
        if stat.rsplit(")", 1)[1].split()[1] == shell and "--port" in args:
            ports.add(int(args[args.index("--port") + 1]))
    return ports

WAYS = {
    "127.0.0.1+SO_REUSEADDR": (socket.AF_INET, "127.0.0.1", [socket.SO_REUSEADDR]),
    "127.0.0.1+SO_REUSEPORT": (socket.AF_INET, "127.0.0.1", [socket.SO_REUSEADDR, socket.SO_REUSEPORT]),
    "127.0.0.1": (socket.AF_INET, "127.0.0.1", []),
    "0.0.0.0+SO_REUSEADDR": (socket.AF_INET, "0.0.0.0", [socket.SO_REUSEADDR]),
    "[::]+SO_REUSEADDR": (socket.AF_INET6, "::", [socket.SO_REUSEADDR]),
}
held, tried, ports = [], {}, set()
last_report = last_look = last_exit = 0.0
while True:
    now = time.monotonic()
    if now - last_look > 0.02:
        ports |= backend_ports()
        last_look = now
    for port in ports:
        for how, (family, address, options) in WAYS.items():
            s = socket.socket(family, socket.SOCK_STREAM)
            for option in options:
                s.setsockopt(socket.SOL_SOCKET, option, 1)
            if family == socket.AF_INET6:
                s.setsockopt(socket.IPPROTO_IPV6, socket.IPV6_V6ONLY, 0)
            try:
                s.bind((address, port))
            except OSError:
                s.close()
                continue
            finally:
                tried[port] = tried.get(port, 0) + 1
            print("bound", port, how, flush=True)
            try:
                s.listen()
                print("took", port, how, flush=True)
                held.append(s)
            except OSError:
                s.close()
        if now - last_exit > 0.5:
            last_exit = now
            try:
                urllib.request.urlopen(urllib.request.Request(
                    f"http://127.0.0.1:{port}/control/exit?code=3", method="POST"), timeout=2)
                print("backend obeyed", port, flush=True)
            except Exception:
                pass
    if now - last_report > 0.05:
        last_report = now
        for port, count in tried.items():
            print("tried", port, count, flush=True)
    if not ports:
        time.sleep(0.002)
"""


@NEEDS_ROOT
class HeldSocketTest(ShellTest):
    def tries_on(self, attacker, port):
        """How many binds of the port the attacker has tried so far."""
        counts = [int(line.split()[2]) for line in attacker.lines()
                  if line.startswith(f"tried {port} ")]
        return counts[-1] if counts else 0

    def while_the_attacker_tries(self, attacker, port, step):
        """Runs step, and waits until the attacker has gone on trying since it began."""
        before = self.tries_on(attacker, port)
        step()
        wait_for(lambda: self.tries_on(attacker, port) > before + 50, 30,
                 what="the attacker's binds to go on")

    def test_no_other_user_takes_the_port_at_launch_restart_or_after_a_crash(self):
        intruder = other_user(self, "lumivant-binder")
        shell = self.start_shell()
        attacker = intruder.start(ATTACKER, shell.process.pid)
        self.addCleanup(attacker.stop)
        window = shell.window_id()

        # Launch: the attacker binds from the moment the backend's command line shows.
        shell.wait_for_line("^" + LOADED + HOME_TITLE + "$")
        (first,) = shell_backends(shell)
        port = port_of(first)
        self.assertTrue(os.readlink(f"/proc/{first}/fd/3").startswith("socket:"),
                        "the backend was handed the shell's socket")
        wait_for(lambda: self.tries_on(attacker, port) > 50, 30, what="the attacker's binds")

        # The backend asks for its restart: the next one gets the same socket.
        def restart():
            start = len(shell.stderr_lines())
            ask_backend(first, port, "/control/exit?code=3", method="POST")
            shell.wait_for_line("^" + LOADED + HOME_TITLE + "$", start=start)
        self.while_the_attacker_tries(attacker, port, restart)
        (second,) = shell_backends(shell)
        self.assertNotEqual(second, first)
        self.assertEqual(port_of(second), port)

        # A crash, and the user's F5 on the message page that says so.
        def crash_and_restart():
            start = len(shell.stderr_lines())
            os.kill(second, signal.SIGKILL)
            shell.wait_for_line("^" + LOADED + "$", start=start)
            wait_for(lambda: second not in backend_processes(), 10, what="the killed backend gone")
            start = len(shell.stderr_lines())
            keys(window, "F5")
            shell.wait_for_line("^" + LOADED + HOME_TITLE + "$", start=start)
        self.while_the_attacker_tries(attacker, port, crash_and_restart)
        (third,) = shell_backends(shell)
        self.assertEqual(port_of(third), port)

        # Stopped before the shell quits, which frees the port.
        attacker.stop()
        self.assertEqual(shell.terminate(), 0)
        won = [line for line in attacker.lines()
               if line.startswith(("bound ", "took ", "backend obeyed "))]
        self.assertEqual(won, [], "the other user never bound the port nor stopped the backend")


if __name__ == "__main__":
    unittest.main()
