"""Files and pages that cannot brick or exhaust the shell: huge files in the
data root, a server named by another form of its address, and a page whose
script clicks outside links on its own."""

import json
import os
import unittest

from browser_support import install_url_recorder, keys, recorded_urls
from harness import QuietHandler, ShellTest, serve_on_loopback, wait_for

LOADED = "shell: webview loaded: "
HOME_TITLE = "示例研究台 · 首页"
MEMORY_LIMIT = 300 * 1024 * 1024


def memory_of(pid, field):
    """A memory figure of /proc/<pid>/status in bytes (VmRSS, VmHWM)."""
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith(field + ":"):
                return int(line.split()[1]) * 1024
    raise AssertionError(f"no {field} for process {pid}")


class OversizedFilesTest(ShellTest):
    def test_huge_payload_pointer_and_server_file_leave_the_shell_small(self):
        homes = self.homes
        os.makedirs(os.path.join(homes.data_root, "payload"))
        hundred_mb = 100 * 1000 * 1000
        # Deep nesting for the pointer, a long array for the server file: the
        # two shapes that cost a whole-file parser the most memory.
        with open(os.path.join(homes.data_root, "payload", "current.json"), "wb") as f:
            half = (hundred_mb - 40) // 2
            f.write(b'{"version": "99.0", "x": ' + b"[" * half + b"]" * half + b"}")
        with open(os.path.join(homes.data_root, "server.json"), "wb") as f:
            f.write(b'{"url": "http://127.0.0.1:9/", "x": [' + b"0," * (hundred_mb // 2) + b"0]}")

        shell = self.start_shell(homes)

        def page_shown_within_the_limit():
            # Stops the shell as soon as it passes the limit, before it can
            # take the machine's memory.
            if shell.process.poll() is None:
                resident = memory_of(shell.process.pid, "VmRSS")
                if resident > MEMORY_LIMIT:
                    shell.kill()
                    self.fail(f"the shell holds {resident >> 20} MiB while starting")
            return LOADED + HOME_TITLE in shell.stderr_lines()

        # Both files count as unreadable: no swap, and the local backend's page.
        wait_for(page_shown_within_the_limit, 120, interval=0.02, what="the local backend's page")
        peak = memory_of(shell.process.pid, "VmHWM")
        self.assertLess(peak, MEMORY_LIMIT, f"peak {peak >> 20} MiB")
        self.assertFalse(any("SHELL-SWAP" in line for line in shell.stderr_lines()))
        self.assertEqual(shell.terminate(), 0)


PAGE_TITLE = "实验室服务器"
SCRIPT_CLICKS = """<!doctype html><html><head><meta charset="utf-8"><title>脚本点击</title></head>
<body>
<a id="user" href="https://example.org/by-user">由用户点击</a>
<a id="out" href="https://example.org/by-script">脚本点击</a>
<a id="mail" href="mailto:script@example.org">脚本发邮件</a>
<a id="blank" target="_blank" href="https://example.org/blank-by-script">脚本新窗口</a>
<script>
  // Clicks the outside links from script alone, again and again, before and
  // after the user's click, then moves on to a page of the same server.
  var rounds = 0;
  var timer = setInterval(function () {
    ["out", "mail", "blank"].forEach(function (id) { document.getElementById(id).click(); });
    if (++rounds === 12) { clearInterval(timer); location.replace("/done"); }
  }, 250);
  document.getElementById("user").focus();
</script>
</body></html>"""


class Server:
    """A server on 127.0.0.1 that answers the readiness probe and serves pages by path."""

    def __init__(self, pages):
        class Handler(QuietHandler):
            def do_GET(self):
                if self.path.endswith("/health/ready"):
                    return self.answer(200, b"ready")
                page = pages.get(self.path.split("?")[0])
                if page is None:
                    return self.answer(404, b"")
                return self.answer(200, page.encode("utf-8"), "text/html; charset=utf-8")

        self.httpd, self.thread = serve_on_loopback(Handler)
        self.port = self.httpd.server_address[1]

    def close(self):
        self.httpd.shutdown()
        self.httpd.server_close()


def titled(title):
    return f"<!doctype html><html><head><meta charset='utf-8'><title>{title}</title></head></html>"


class ServerPagesTest(ShellTest):
    def start(self, pages, url_of):
        server = Server(pages)
        self.addCleanup(server.close)
        os.makedirs(self.homes.data_root, exist_ok=True)
        with open(os.path.join(self.homes.data_root, "server.json"), "w") as f:
            json.dump({"url": url_of(server.port)}, f)
        shell = self.start_shell()
        return shell

    def test_a_server_named_by_a_shorthand_address_shows_its_page(self):
        shell = self.start({"/lab/": titled(PAGE_TITLE)}, lambda port: f"http://127.1:{port}/lab/")
        shell.wait_for_line("^" + LOADED + PAGE_TITLE + "$")
        self.assertEqual(shell.terminate(), 0)

    def test_script_clicks_hand_nothing_to_the_system_but_a_users_click_does(self):
        record = install_url_recorder(self.homes)
        shell = self.start({"/": SCRIPT_CLICKS, "/done": titled("完毕")},
                           lambda port: f"http://127.0.0.1:{port}/")
        window = shell.window_id()
        shell.wait_for_line("^" + LOADED + "脚本点击$")
        keys(window, "Return")
        wait_for(lambda: recorded_urls(record), what="the user's link at the handler")
        shell.wait_for_line("^" + LOADED + "完毕$")
        self.assertEqual(recorded_urls(record), ["https://example.org/by-user"])
        self.assertEqual(shell.terminate(), 0)


if __name__ == "__main__":
    unittest.main()
