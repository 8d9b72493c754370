"""The main window, its menu and its web view as a new user meets them: the
first frame and the remembered one, the edit shortcuts in page fields,
quitting by Ctrl+Q and by closing the window, website data kept between runs,
and the window's own background before the first page."""

import http.server
import os
import subprocess
import threading
import time
import unittest

from browser_support import (COMPOSITING, LOADED, RecordingServer, close_window, geometry, keys,
                             engine_process, mapped_libraries, pixel, rendering_threads, spread,
                             type_text)
from harness import ShellTest, backend_processes, wait_for
from window_state import saved, state_file


def saved_frame(homes):
    group = saved(homes)
    return group and tuple(int(group[key]) for key in ("x", "y", "width", "height"))


class WindowMenuTest(ShellTest):
    def serve(self, start_page):
        server = RecordingServer(start_page)
        self.addCleanup(server.close)
        server.use_as_organisation_server(self.homes)
        return server

    def start(self, env=None):
        shell = self.start_shell(env=env)
        return shell, shell.window_id()

    def test_first_frame_is_centred_1280_by_840_and_a_moved_frame_comes_back(self):
        self.serve("/editing.html")
        shell, window = self.start()
        shell.wait_for_line("^" + LOADED + "编辑$")
        self.assertEqual(geometry(window), (320, 120, 1280, 840), "centred on the 1920x1080 screen")
        hints = subprocess.run(["xprop", "-id", window, "WM_NORMAL_HINTS"],
                               capture_output=True, text=True).stdout
        self.assertIn("minimum size: 900 by 600", hints)

        # What a window manager does when the user drags and resizes the window.
        subprocess.run(["xdotool", "windowsize", window, "1000", "700"], check=True)
        subprocess.run(["xdotool", "windowmove", window, "100", "80"], check=True)
        wait_for(lambda: saved_frame(self.homes) == (100, 80, 1000, 700), what="the saved frame")
        self.assertEqual(shell.terminate(), 0)

        shell, window = self.start()
        wait_for(lambda: geometry(window) == (100, 80, 1000, 700),
                 what=f"the restored frame (have {geometry(window)})")

    def test_damaged_frame_file_gives_the_first_run_frame(self):
        os.makedirs(os.path.dirname(state_file(self.homes)))
        with open(state_file(self.homes), "wb") as damaged:
            damaged.write(b"\x00\xff[main\nwidth=\n")
        self.serve("/editing.html")
        shell, window = self.start()
        self.assertEqual(geometry(window), (320, 120, 1280, 840))

    def edit_and_report(self, shell, window, *edit_keys):
        """Types into the first field, copies it into the second with the
        shortcuts, applies edit_keys there, and returns the page's report."""
        start = len(shell.stderr_lines())
        type_text(window, "hello lab")
        keys(window, "ctrl+a", "ctrl+c", "Tab", "ctrl+v", *edit_keys)
        keys(window, "Tab", "Return")
        return shell.wait_for_line("^" + LOADED + "来源=", start=start)[len(LOADED):]

    def test_select_all_copy_paste_undo_and_redo_work_in_page_fields(self):
        self.serve("/editing.html?focus=source")
        shell, window = self.start()
        shell.wait_for_line("^" + LOADED + "编辑$")
        self.assertEqual(self.edit_and_report(shell, window), "来源=hello lab；目标=hello lab")

        # The report reloads the page without the focus parameter; start afresh.
        self.assertEqual(shell.terminate(), 0)
        shell, window = self.start()
        shell.wait_for_line("^" + LOADED + "编辑$")
        self.assertEqual(self.edit_and_report(shell, window, "ctrl+z"), "来源=hello lab；目标=")
        self.assertEqual(shell.terminate(), 0)

        shell, window = self.start()
        shell.wait_for_line("^" + LOADED + "编辑$")
        self.assertEqual(self.edit_and_report(shell, window, "ctrl+z", "shift+ctrl+z"),
                         "来源=hello lab；目标=hello lab")

    def test_ctrl_q_quits_and_stops_the_backend(self):
        shell, window = self.start()
        shell.wait_for_line("^" + LOADED + "示例研究台")
        backends = wait_for(lambda: [p for p in backend_processes() if p in shell.children()],
                            what="the backend child")
        keys(window, "ctrl+q")
        self.assertEqual(shell.wait(20), 0)
        wait_for(lambda: not any(os.path.exists(f"/proc/{p}") and p in backend_processes()
                                 for p in backends), 10, what="the backend to stop")

    def test_closing_the_window_quits_and_stops_the_backend(self):
        shell, window = self.start()
        shell.wait_for_line("^" + LOADED + "示例研究台")
        backends = wait_for(lambda: [p for p in backend_processes() if p in shell.children()],
                            what="the backend child")
        close_window(window)
        self.assertEqual(shell.wait(20), 0)
        wait_for(lambda: not any(p in backend_processes() for p in backends), 10,
                 what="the backend to stop")

    def test_local_storage_and_cookie_survive_a_restart(self):
        self.serve("/storage.html?focus=save")
        shell, window = self.start()
        shell.wait_for_line("^" + LOADED + "存储：无；Cookie：无$")
        keys(window, "Return")
        shell.wait_for_line("^" + LOADED + "存储：记住了；Cookie：饼干$")
        self.assertEqual(shell.terminate(), 0)

        shell, window = self.start()
        shell.wait_for_line("^" + LOADED + "存储：")
        self.assertEqual(shell.loaded_titles()[-1], "存储：记住了；Cookie：饼干")

    def test_window_background_shows_before_the_first_page(self):
        # A server that takes its time to become ready keeps the web view empty.
        released = threading.Event()
        self.addCleanup(released.set)

        class SlowReady(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                released.wait(20)
                self.send_response(503)
                self.send_header("Content-Length", "0")
                self.end_headers()

            def log_message(self, *args):
                pass

        httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), SlowReady)
        threading.Thread(target=httpd.serve_forever, daemon=True).start()
        self.addCleanup(httpd.server_close)
        self.addCleanup(httpd.shutdown)
        os.makedirs(self.homes.data_root, exist_ok=True)
        with open(os.path.join(self.homes.data_root, "server.json"), "w") as server_file:
            server_file.write('{"url": "http://127.0.0.1:%d/"}' % httpd.server_address[1])

        shell, window = self.start(env=COMPOSITING)
        time.sleep(1.0)  # let the first frame reach the screen; nothing to wait on
        shot = shell.screenshot(os.path.join(os.environ.get("LUMIVANT_SCREENSHOTS", self.homes.root), "before-first-page.png"))
        self.assertEqual(shell.loaded_titles(), [], "no page has loaded yet")
        x, y, width, height = geometry(window)
        inside_web_view = pixel(shot, x + width // 2, y + height // 2)
        self.assertNotEqual(inside_web_view, (255, 255, 255), "not a white page")
        self.assertNotEqual(inside_web_view, (0, 0, 0), "not a black hole")
        # The menu bar sits on the window's background too.
        self.assertEqual(inside_web_view, pixel(shot, x + width - 5, y + 5))
        released.set()

    def test_window_background_shows_where_a_page_paints_nothing(self):
        # The sample home page sets no background of its own. Without
        # compositing too, which users turn on for broken GPU drivers, and
        # which the shell itself picks on Xvfb's software OpenGL.
        for env in (COMPOSITING, {"WEBKIT_DISABLE_COMPOSITING_MODE": "1"},
                    {"WEBKIT_DISABLE_COMPOSITING_MODE": None}):
            with self.subTest(env=env):
                shell, window = self.start(env=env)
                shell.wait_for_line("^" + LOADED + "示例研究台 · 首页$", timeout=60)
                x, y, width, height = geometry(window)
                # Until the page reaches the screen, the starting indicator
                # leaves the band of the page's heading plain.
                path = os.path.join(self.homes.root, "home-page.png")
                def heading_shown():
                    png = shell.screenshot(path)
                    return png if spread(png, x + width // 4, y + 40, width // 2, 120) > 0 else None
                shot = wait_for(heading_shown, 10, interval=0.2, what="the page's heading on screen")
                below_the_content = pixel(shot, x + width - 20, y + height - 20)
                self.assertEqual(below_the_content, pixel(shot, x + width - 5, y + 5))
                if env["WEBKIT_DISABLE_COMPOSITING_MODE"] is None:
                    # The page has reached the screen: a composited one
                    # would have its compositor and rasteriser threads, and
                    # the shell's process a rasteriser to show its frames.
                    web = engine_process(shell, "WebKitWebProcess")
                    self.assertEqual(rendering_threads(web), [],
                                     "the web process renders through no OpenGL")
                    self.assertEqual(rendering_threads(shell.process.pid), [],
                                     "the shell's process renders through no OpenGL")
                    # Nor does it make a context to receive composited frames
                    # in GPU buffers: the first one loads OpenGL ES.
                    gles = [name for name in mapped_libraries(shell.process.pid)
                            if name.startswith("libGLESv2")]
                    self.assertEqual(gles, [], "the shell's process made no OpenGL context")
                self.assertEqual(shell.terminate(), 0)


if __name__ == "__main__":
    unittest.main()
