"""The page's dialogs under Weston, which puts a dialog's own window wherever
it likes: the confirm question and a download's save panel show centred on
the main window, title bar included, read as an alert and a dialog to
assistive technology, and their answers reach the page and the file system."""

import os
import re
import subprocess
import unittest

from desktops import HeadlessWeston
from harness import QuietHandler, ShellTest, serve_on_loopback, wait_for
from read_back import accessible, accessible_widgets, press, replace_text
from window_state import shots_dir

LOADED = "shell: webview loaded: "
QUESTION = "确定继续吗？"
# A page of one colour that asks its question once loaded and, answered, loads
# again titled with the answer.
PAGE = """<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>等待确认</title>
<style>html, body { margin: 0; height: 100%; background: #0000ff; }</style>
<script>
var answer = new URLSearchParams(location.search).get("answer");
if (answer) {
  document.title = answer;
} else {
  addEventListener("load", function () {
    setTimeout(function () {
      var yes = confirm("确定继续吗？");
      location.replace("/?answer=" + encodeURIComponent(yes ? "确认：是" : "确认：否"));
    }, 100);
  });
}
</script></head><body></body></html>""".encode()

REPORT = "sample,value\nalpha,1\nbeta,2\n".encode()
# A page of the same colour that, once loaded, downloads the report.
DOWNLOADING_PAGE = """<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>下载报告</title>
<style>html, body { margin: 0; height: 100%; background: #0000ff; }</style>
<script>
addEventListener("load", function () {
  setTimeout(function () {
    var link = document.createElement("a");
    link.href = "/report.csv";
    link.download = "report.csv";
    document.body.appendChild(link);
    link.click();
  }, 100);
});
</script></head><body></body></html>""".encode()


class AskingServer:
    """The organisation server: its readiness probe, the report and a page,
    by default the asking one."""

    def __init__(self, page=PAGE):
        class Handler(QuietHandler):
            def do_GET(self):
                if self.path == "/health/ready":
                    return self.answer(200, b"ready")
                if self.path == "/report.csv":
                    return self.answer(200, REPORT, "text/csv; charset=utf-8")
                return self.answer(200, page, "text/html; charset=utf-8")

        self.httpd, _ = serve_on_loopback(Handler)
        self.url = f"http://127.0.0.1:{self.httpd.server_address[1]}/"

    def close(self):
        self.httpd.shutdown()
        self.httpd.server_close()


def rgb_rows(png):
    """The screenshot's pixels, one bytes object of r, g, b triples a row."""
    size = subprocess.run(["identify", "-format", "%w %h", png], capture_output=True, text=True,
                          check=True).stdout.split()
    width, height = int(size[0]), int(size[1])
    data = subprocess.run(["convert", png, "-depth", "8", "rgb:-"], capture_output=True,
                          check=True).stdout
    return [data[y * width * 3:(y + 1) * width * 3] for y in range(height)]


def bounds(points):
    """(left, top, right, bottom) around the points, edges included."""
    xs = [x for x, _ in points]
    ys = [y for _, y in points]
    return min(xs), min(ys), max(xs), max(ys)


def page_and_sheet(png):
    """Where the blue page shows in the screenshot, dimmed or not, and where
    something other than the page shows within it: the sheet."""
    rows = rgb_rows(png)
    blue = []
    for y, row in enumerate(rows):
        reds, blues = row[0::3], row[2::3]
        blue.extend((x, y) for x, (r, b) in enumerate(zip(reds, blues)) if b - r > 80)
    if not blue:
        return None, None
    left, top, right, bottom = bounds(blue)
    other = []
    for y in range(top, bottom + 1):
        row = rows[y]
        reds, blues = row[3 * left::3][:right - left + 1], row[3 * left + 2::3][:right - left + 1]
        other.extend((left + i, y) for i, (r, b) in enumerate(zip(reds, blues)) if b - r < 40)
    return (left, top, right, bottom), (bounds(other) if other else None)


def window_geometry(shell):
    """The main window's extent as the shell last told the compositor: the
    window with its title bar, without its shadow."""
    found = [tuple(map(int, m.groups())) for m in (
        re.search(r"xdg_surface@(\d+)\.set_window_geometry\((-?\d+), (-?\d+), (\d+), (\d+)\)", line)
        for line in shell.stderr_lines()) if m]
    main = found[0][0]  # the first surface given a geometry is the main window's
    return [geometry[1:] for geometry in found if geometry[0] == main][-1]


def toplevels(shell):
    """How many windows of its own the shell has asked the compositor for."""
    return sum(1 for line in shell.stderr_lines() if re.search(r"\.get_toplevel\(", line))


class WestonDialogTest(ShellTest):
    def start(self, page):
        """The shell under a fresh Weston, showing page from the organisation
        server; with it the compositor and the user's directories."""
        weston = HeadlessWeston(f"lumivant-test-{os.getpid()}")
        self.addCleanup(weston.close)
        server = AskingServer(page)
        self.addCleanup(server.close)
        homes = self.homes
        os.makedirs(homes.data_root, exist_ok=True)
        with open(os.path.join(homes.data_root, "server.json"), "w") as server_file:
            server_file.write('{"url": "%s"}' % server.url)
        shell = self.start_shell(
            homes, env=dict(weston.env(), WAYLAND_DEBUG="client", NO_AT_BRIDGE="0"))
        return weston, homes, shell

    def assert_sheet_centred(self, weston, shell, shot):
        """Photographs the output until a sheet shows over the page, and checks
        that it is centred on the whole window, title bar included."""
        def measured():
            page, sheet = page_and_sheet(weston.screenshot(shot))
            return (page, sheet) if page and sheet else None
        page, sheet = wait_for(measured, interval=0.3, what="the sheet over the page")
        _, _, width, height = window_geometry(shell)
        left, _, right, bottom = page
        # The page fills the window below its title and menu bars, from side
        # to side and down to the bottom edge.
        self.assertLessEqual(abs((right - left + 1) - width), 2, (page, width))
        window_middle = ((left + right) / 2, bottom + 1 - height / 2)
        sheet_middle = ((sheet[0] + sheet[2]) / 2, (sheet[1] + sheet[3]) / 2)
        self.assertLess(abs(sheet_middle[0] - window_middle[0]), 3, (sheet, window_middle))
        self.assertLess(abs(sheet_middle[1] - window_middle[1]), 3, (sheet, window_middle))
        return page, sheet

    def test_confirm_shows_centred_on_the_main_window(self):
        weston, homes, shell = self.start(PAGE)
        shell.wait_for_line("^" + LOADED + "等待确认$")
        accessible(shell, "the confirm question", role="alert", name=QUESTION, showing=True)
        accessible(shell, "its confirm button", role="push button", name="确认", showing=True)
        accessible(shell, "its cancel button", role="push button", name="取消", showing=True)

        self.assert_sheet_centred(weston, shell,
                                  os.path.join(shots_dir(homes), "weston-confirm.png"))

        press(shell, "确认")
        shell.wait_for_line("^" + LOADED + "确认：是$")
        self.assertEqual([title for title in shell.loaded_titles() if title.startswith("确认")],
                         ["确认：是"], "answered once")
        self.assertEqual(shell.terminate(), 0)

    # A download opens a save panel only for the user's own press, and these
    # tests have no way to press into Weston; the panel's placement under
    # Wayland waits for a test that can.
    @unittest.skip("a save panel needs the user's own press, which nothing can send into Weston")
    def test_download_save_panel_shows_centred_and_saves_where_chosen(self):
        weston, homes, shell = self.start(DOWNLOADING_PAGE)
        shell.wait_for_line("^" + LOADED + "下载报告$")
        accessible(shell, "the save panel", role="dialog", name="保存研究文件", showing=True)
        accessible(shell, "its suggested name", role="text", text="report.csv", showing=True)
        accessible(shell, "its cancel button", role="push button", name="取消", showing=True)
        page, sheet = self.assert_sheet_centred(
            weston, shell, os.path.join(shots_dir(homes), "weston-save-panel.png"))
        self.assertGreater(sheet[2] - sheet[0], (page[2] - page[0]) / 2, "room to choose a file")
        self.assertEqual(toplevels(shell), 1, "no window but the main one")

        saved = os.path.join(homes.root, "saved")
        os.makedirs(saved)
        chosen = os.path.join(saved, "my-report.csv")
        replace_text(shell, "report.csv", chosen)
        press(shell, "保存")
        wait_for(lambda: os.path.exists(chosen) and os.path.getsize(chosen) == len(REPORT),
                 what="the report where chosen")
        with open(chosen, "rb") as report:
            self.assertEqual(report.read(), REPORT)
        self.assertEqual(os.listdir(saved), ["my-report.csv"])
        self.assertFalse([widget for widget in accessible_widgets(shell)
                          if widget["role"] == "dialog" and widget["showing"]], "the panel is gone")
        self.assertEqual(shell.terminate(), 0)


if __name__ == "__main__":
    unittest.main()
