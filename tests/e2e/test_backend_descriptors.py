"""The backend child holds none of the shell's descriptors while the shell runs
its real window and web view: only its standard three, which are the log, the
listening socket the shell hands it as descriptor 3, plus what it opened
itself."""

import os
import unittest

from harness import ShellTest, backend_processes, wait_for

LOADED = "shell: webview loaded: "


def descriptors(pid):
    """Each open descriptor of a process: its number, where it points, and the object's identity."""
    result = {}
    directory = f"/proc/{pid}/fd"
    for name in os.listdir(directory):
        path = os.path.join(directory, name)
        try:
            target = os.readlink(path)
            info = os.stat(path)
        except OSError:
            continue  # closed meanwhile
        result[int(name)] = (target, (info.st_dev, info.st_ino))
    return result


def is_anonymous(target):
    # All eventfds, epoll instances, timerfds, pidfds ... share one anonymous
    # inode, so for them only the kind can be compared.
    return target.startswith("anon_inode:")


class BackendDescriptorsTest(ShellTest):
    def test_backend_has_its_standard_three_and_only_what_it_opened(self):
        shell = self.start_shell()
        shell.window_id()
        # The web view has fetched the backend's first page and finished a load.
        log_path = os.path.join(self.homes.data_root, "logs", "backend.log")
        wait_for(lambda: os.path.exists(log_path) and '"GET / HTTP/1.1" 200' in open(log_path).read(),
                 60, what="the web view to fetch the backend's first page")
        shell.wait_for_line("^" + LOADED)
        backend = wait_for(lambda: [p for p in backend_processes() if p in shell.children()],
                           60, what="the backend child")[0]

        shell_fds = descriptors(shell.process.pid)
        child_fds = descriptors(backend)
        # The shell really does hold what a child must not inherit: the X
        # connection and the web engine's sockets, pipes and eventfds.
        self.assertGreater(len([fd for fd in shell_fds if fd > 2]), 10, shell_fds)

        log = os.path.realpath(log_path)
        self.assertEqual(child_fds[1][0], log)
        self.assertEqual(child_fds[2][0], log)
        self.assertEqual(child_fds[0][1], shell_fds[0][1], "standard input is the shell's")

        shared = {identity for target, identity in shell_fds.values() if not is_anonymous(target)}
        self.assertIn(child_fds[3][1], shared, "descriptor 3 is the shell's listening socket")
        self.assertTrue(child_fds[3][0].startswith("socket:"))
        for fd, (target, identity) in child_fds.items():
            if fd <= 3:
                continue
            if is_anonymous(target):
                # The one the backend opens itself: a pidfd on its parent for
                # --exit-with-parent.
                self.assertEqual(target, "anon_inode:[pidfd]", f"fd {fd}")
            else:
                self.assertNotIn(identity, shared, f"fd {fd} ({target}) is the shell's")
                self.assertTrue(target.startswith("socket:"), f"fd {fd} ({target})")
        self.assertEqual(shell.terminate(), 0)


if __name__ == "__main__":
    unittest.main()
