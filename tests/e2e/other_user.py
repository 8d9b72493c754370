"""A second local user of the machine, made for one test and removed after it:
what another researcher on a shared workstation can do to the app."""

import os
import pwd
import subprocess
import threading
import unittest

from harness import wait_for

NEEDS_ROOT = unittest.skipUnless(os.geteuid() == 0,
                                 "needs root to create a second local user and act as it")


class OtherUser:
    """A system user without a home, made with useradd; remove() takes it away."""

    def __init__(self, name):
        self.name = name
        subprocess.run(["userdel", name], stderr=subprocess.DEVNULL)  # left by a killed run
        subprocess.run(["useradd", "--system", "--no-create-home", "--shell", "/usr/sbin/nologin",
                        name], check=True)
        entry = pwd.getpwnam(name)
        self.uid, self.gid = entry.pw_uid, entry.pw_gid

    def remove(self):
        subprocess.run(["userdel", self.name], check=False)

    def start(self, script, *args):
        """Runs a Python script as this user, started as the user itself rather
        than through runuser, whose child would outlive a kill of runuser."""
        return Program(subprocess.Popen(
            ["python3", "-c", script, *map(str, args)], user=self.uid, group=self.gid,
            extra_groups=[], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
            stderr=subprocess.STDOUT, text=True, cwd="/"))

    def run(self, script, *args, timeout=60):
        """Runs a Python script as this user to its end; its output's lines."""
        done = subprocess.run(["python3", "-c", script, *map(str, args)], user=self.uid,
                              group=self.gid, extra_groups=[], stdin=subprocess.DEVNULL,
                              capture_output=True, text=True, cwd="/", timeout=timeout)
        if done.returncode != 0:
            raise AssertionError(f"the other user's script failed: {done.stdout}{done.stderr}")
        return done.stdout.splitlines()


def other_user(test, name):
    """The test's second local user, removed when the test ends."""
    user = OtherUser(name)
    test.addCleanup(user.remove)
    return user


class Program:
    """A program of the other user's, its output collected line by line."""

    def __init__(self, process):
        self.process = process
        self._lines = []
        self._lock = threading.Lock()
        self._reader = threading.Thread(target=self._read, daemon=True)
        self._reader.start()

    def _read(self):
        for line in self.process.stdout:
            with self._lock:
                self._lines.append(line.rstrip("\n"))

    def lines(self):
        with self._lock:
            return list(self._lines)

    def wait_for_line(self, prefix, timeout=60):
        return wait_for(lambda: next((l for l in self.lines() if l.startswith(prefix)), None),
                        timeout, what=f"'{prefix}' from the other user's program ({self.lines()[-5:]})")

    def stop(self):
        if self.process.poll() is None:
            self.process.kill()
        self.process.wait()
        self._reader.join(10)
