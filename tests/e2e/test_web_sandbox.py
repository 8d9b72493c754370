"""Web content in the engine's sandbox, as a user meets it with the local
sample backend: the web process sees a file system of its own, not the
shell's, and the sample's pages, a download, an upload and printing to a file
work as before. Where the sandbox cannot start (here: no bwrap), the shell
says so in one line and shows its pages unconfined."""

import os
import unittest

from browser_support import (HOME_PAGE, LOADED, engine_process, keys, save_as, type_text, wait_for_dialog,
                             wait_for_no_dialog)
from harness import ShellTest, serve_on_loopback, QuietHandler, wait_for

FALLBACK = "lumivant: web pages run without the engine's sandbox: "

# A page of the test's own: the chosen file's text becomes the title of a
# finished load, read by the page from the file the user picked.
UPLOAD_PAGE = """<!DOCTYPE html><meta charset="utf-8"><title>上传</title>
<input id="file" type="file" autofocus>
<script>
var sent = new URLSearchParams(location.search).get("text");
if (sent !== null) document.title = sent;
document.getElementById("file").addEventListener("change", function (event) {
  event.target.files[0].text().then(function (text) {
    location.replace("/?text=" + encodeURIComponent(text));
  });
});
</script>""".encode("utf-8")


class UploadPage(QuietHandler):
    def do_GET(self):
        self.answer(200, UPLOAD_PAGE, "text/html; charset=utf-8")


def mount_namespace(pid):
    return os.readlink(f"/proc/{pid}/ns/mnt")


class WebSandboxTest(ShellTest):
    def web_process(self, shell):
        return wait_for(lambda: engine_process(shell, "WebKitWebProcess"), what="the web process")

    def test_pages_download_upload_and_print_in_a_namespace_of_their_own(self):
        saved = os.path.join(self.homes.root, "saved")
        os.makedirs(saved)
        os.makedirs(self.homes.xdg["XDG_CONFIG_HOME"])
        with open(os.path.join(self.homes.xdg["XDG_CONFIG_HOME"], "user-dirs.dirs"), "w") as dirs:
            dirs.write(f'XDG_DOCUMENTS_DIR="{saved}"\n')
        shell = self.start_shell(env={"SAMPLE_HOME_REDIRECT": "/downloads.html?focus=report"})
        window = shell.window_id()
        shell.wait_for_line("^" + LOADED + "下载$")
        self.assertNotEqual(mount_namespace(self.web_process(shell)),
                            mount_namespace(shell.process.pid))
        self.assertFalse(any(line.startswith(FALLBACK) for line in shell.stderr_lines()))

        keys(window, "Return")
        save_as(shell, window, os.path.join(saved, "report.csv"))
        wait_for(lambda: os.path.exists(os.path.join(saved, "report.csv")), what="the report")
        with open(os.path.join(saved, "report.csv"), encoding="utf-8") as report:
            self.assertEqual(report.read(), "sample,value\nalpha,1\nbeta,2\n")

        # GTK's print dialog, printing to a file in the user's documents folder.
        printed = os.path.join(saved, "output.pdf")
        keys(window, "ctrl+p")
        self.print_to_file(shell, window, wait_for_dialog(shell, window))
        wait_for(lambda: os.path.exists(printed) and os.path.getsize(printed) > 0,
                 what="the printed file")
        with open(printed, "rb") as pdf:
            self.assertEqual(pdf.read(5), b"%PDF-")
        self.assertEqual(shell.terminate(), 0)

    def print_to_file(self, shell, window, dialog):
        # The first printer is GTK's "Print to File"; Return prints with it.
        keys(dialog, "Down")
        keys(dialog, "Return")
        wait_for_no_dialog(shell, window)

    def test_a_picked_file_reaches_the_page(self):
        chosen = os.path.join(self.homes.home, "notes.txt")
        with open(chosen, "w", encoding="utf-8") as notes:
            notes.write("研究笔记")
        httpd, _ = serve_on_loopback(UploadPage)
        self.addCleanup(httpd.server_close)
        self.addCleanup(httpd.shutdown)
        os.makedirs(self.homes.data_root, exist_ok=True)
        with open(os.path.join(self.homes.data_root, "server.json"), "w") as server_file:
            server_file.write('{"url": "http://127.0.0.1:%d/"}' % httpd.server_address[1])
        shell = self.start_shell()
        window = shell.window_id()
        shell.wait_for_line("^" + LOADED + "上传$")
        keys(window, "space")
        dialog = wait_for_dialog(shell, window)
        keys(dialog, "ctrl+l")
        type_text(dialog, chosen)
        keys(dialog, "Return")
        try:
            wait_for_no_dialog(shell, window, timeout=3.0)
        except AssertionError:
            keys(dialog, "Return")  # the location field took the first for its completion
            wait_for_no_dialog(shell, window)
        shell.wait_for_line("^" + LOADED + "研究笔记$")
        self.assertNotEqual(mount_namespace(self.web_process(shell)),
                            mount_namespace(shell.process.pid))
        self.assertEqual(shell.terminate(), 0)

    def test_without_bwrap_the_shell_says_so_and_shows_its_pages(self):
        # bwrap hidden from this shell alone, in a mount namespace of its own.
        hide_bwrap = ["unshare", "--mount", "--propagation", "private", "sh", "-c",
                      'mount --bind /dev/null /usr/bin/bwrap && exec "$0"']
        shell = self.start_shell(prefix=hide_bwrap)
        shell.window_id()
        shell.wait_for_line("^" + LOADED + HOME_PAGE + "$")
        fallback = [line for line in shell.stderr_lines() if line.startswith(FALLBACK)]
        self.assertEqual(len(fallback), 1, shell.stderr_lines())
        self.assertIn("/usr/bin/bwrap", fallback[0])
        self.assertEqual(mount_namespace(self.web_process(shell)),
                         mount_namespace(shell.process.pid))
        self.assertEqual(shell.terminate(), 0)


if __name__ == "__main__":
    unittest.main()
