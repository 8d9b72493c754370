"""With a server.json naming an organisation server, the built shell shows that
server instead of starting a backend of its own, or says why it cannot."""

import json
import os
import threading
import unittest

from harness import (QuietHandler, ShellTest, process_command_lines, process_tree,
                     serve_on_loopback, wait_for)

PAGE_TITLE = "组织服务器"
PAGE = f"<!doctype html><html><head><meta charset='utf-8'><title>{PAGE_TITLE}</title></head>" \
       "<body><p>lab</p></body></html>"
LOADED = "shell: webview loaded: "


class OrganisationServer:
    """An HTTP server on 127.0.0.1 in a thread that records every request path."""

    def __init__(self, ready_status):
        self.paths = []
        lock = threading.Lock()
        self._lock = lock
        outer = self

        class Handler(QuietHandler):
            def do_GET(self):
                with lock:
                    outer.paths.append(self.path)
                if self.path.endswith("/health/ready"):
                    self.answer(ready_status, b"")
                else:
                    self.answer(200, PAGE.encode("utf-8"), "text/html; charset=utf-8")

        self.httpd, self._thread = serve_on_loopback(Handler)
        self.url = f"http://127.0.0.1:{self.httpd.server_address[1]}/lab/"

    def requested(self):
        with self._lock:
            return list(self.paths)

    def close(self):
        self.httpd.shutdown()
        self.httpd.server_close()
        self._thread.join()


def descendants(pid):
    """Command lines of every process below pid, by pid."""
    lines = process_command_lines()
    return {child: lines.get(child, []) for child in process_tree(pid)}


class OrganisationServerTest(ShellTest):
    def start(self, ready_status):
        server = OrganisationServer(ready_status)
        self.addCleanup(server.close)
        os.makedirs(self.homes.data_root, exist_ok=True)
        with open(os.path.join(self.homes.data_root, "server.json"), "w") as f:
            json.dump({"url": f"  {server.url}\n"}, f)
        shell = self.start_shell()
        return server, shell

    def test_a_ready_server_is_shown_and_no_backend_is_started(self):
        server, shell = self.start(200)
        wait_for(lambda: len(server.requested()) >= 2, what="the probe and the page request")
        self.assertEqual(server.requested(), ["/lab/health/ready", "/lab/"])
        line = shell.wait_for_line("^" + LOADED)
        self.assertEqual(line[len(LOADED):], PAGE_TITLE)
        for pid, args in descendants(shell.process.pid).items():
            command = " ".join(args)
            self.assertNotIn("python", command, f"process {pid} is no engine process")
            self.assertNotIn("app.launcher", command, f"process {pid} is no engine process")
        self.assertFalse(os.path.exists(os.path.join(self.homes.data_root, "logs", "backend.log")))
        self.assertEqual(shell.terminate(), 0)

    def test_a_server_that_answers_503_gets_the_message_page(self):
        server, shell = self.start(503)
        line = shell.wait_for_line("^" + LOADED)
        # The message page has an empty title.
        self.assertEqual(line[len(LOADED):], "")
        self.assertEqual(server.requested(), ["/lab/health/ready"])
        self.assertEqual(shell.loaded_titles(), [line[len(LOADED):]])
        self.assertFalse(any("python" in " ".join(args)
                             for args in descendants(shell.process.pid).values()))
        self.assertEqual(shell.terminate(), 0)


if __name__ == "__main__":
    unittest.main()
