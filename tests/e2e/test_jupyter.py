"""Debian's Jupyter Notebook as the shell's backend, put into a bundle the way
examples/jupyter says, used as a new user uses it with the mouse and the
keyboard: the tree page shows, New ▸ Python 3 opens a notebook, a cell typed
over with Ctrl+A runs, Download as ▸ Notebook ends in the save panel and a
saved .ipynb, leaving with unsaved changes asks first, and quitting leaves no
notebook server or kernel behind.

The clicks land where the notebook's own controls are in the window's
first-run frame (1280 by 840); the screenshots of a failed run show them."""

import json
import os
import re
import shutil
import subprocess
import tempfile
import unittest

from browser_support import (LOADED, geometry, keys, save_as, shell_windows, type_text,
                             wait_for_dialog, wait_for_no_dialog)
from harness import ShellTest, ask_backend, wait_for
from other_user import NEEDS_ROOT, other_user
from read_back import accessible

TREE_TITLE = "Home Page - Select or create a notebook"
NOTEBOOK_TITLE = "(Untitled1? - )?Jupyter Notebook"

SOURCE = os.path.join(os.path.dirname(__file__), "..", "..")
BUILT = os.environ.get("LUMIVANT_BUNDLE") or os.path.join(SOURCE, "build", "Lumivant")

# Where the notebook's controls are, from the window's top left corner.
NEW_BUTTON = (1162, 137)
NEW_PYTHON_3 = (1100, 181)
FIRST_CELL = (695, 195)
FIRST_OUTPUT = (233, 250)  # the middle of the two lines below a two-line cell
SECOND_CELL = (695, 302)
FILE_MENU = (95, 86)
DOWNLOAD_AS = (128, 362)
DOWNLOAD_AS_SUBMENU = (330, 362)
NOTEBOOK_IPYNB = (370, 458)
CLOSE_AND_HALT = (150, 440)
JUPYTER_LOGO = (126, 46)

# Run as another local user with the server's port: what a stranger on the
# machine would try. Fetches /tree for the _xsrf cookie and sends it back with
# each request, as a browser would; prints each answer's status.
STRANGER = r"""
import http.cookiejar, sys, urllib.error, urllib.request
base = f"http://127.0.0.1:{sys.argv[1]}"
jar = http.cookiejar.CookieJar()
opener = urllib.request.build_opener(urllib.request.HTTPCookieProcessor(jar))

def status(name, path, method="GET", body=None, headers={}):
    xsrf = next((c.value for c in jar if c.name == "_xsrf"), "")
    request = urllib.request.Request(base + path, data=body, method=method,
                                     headers={"X-XSRFToken": xsrf, **headers})
    try:
        code = opener.open(request, timeout=10).status
    except urllib.error.HTTPError as error:
        code = error.code
    print(name, code, flush=True)

status("tree", "/tree")
status("list", "/api/contents")
status("write", "/api/contents/stranger.txt", "PUT",
       b'{"type": "file", "format": "text", "content": "mine"}',
       {"Content-Type": "application/json"})
status("kernel", "/api/kernels", "POST", b"{}", {"Content-Type": "application/json"})
status("terminal", "/api/terminals", "POST", b"{}", {"Content-Type": "application/json"})
status("channels", "/api/kernels/00000000-0000-0000-0000-000000000000/channels", "GET", None,
       {"Upgrade": "websocket", "Connection": "Upgrade", "Sec-WebSocket-Version": "13",
        "Sec-WebSocket-Key": "dGhlIHNhbXBsZSBub25jZQ=="})
"""


def processes_mentioning(*texts):
    """Process ids whose command line holds every one of texts."""
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/cmdline", "rb") as cmdline:
                line = cmdline.read()
            if all(text.encode() in line for text in texts):
                found.append(int(entry))
        except OSError:
            pass
    return found


class JupyterTest(ShellTest):
    @classmethod
    def setUpClass(cls):
        cls.bundles = tempfile.mkdtemp(prefix="lumivant-jupyter-")
        cls.bundle = os.path.join(cls.bundles, "LumivantJupyter")
        subprocess.run([os.path.join(SOURCE, "examples", "jupyter", "make-bundle.sh"), BUILT,
                        cls.bundle], check=True)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.bundles, ignore_errors=True)

    def click(self, place):
        x, y = self.origin[0] + place[0], self.origin[1] + place[1]
        subprocess.run(["xdotool", "mousemove", "--sync", str(x), str(y), "click", "1"], check=True)

    def hover(self, place):
        x, y = self.origin[0] + place[0], self.origin[1] + place[1]
        subprocess.run(["xdotool", "mousemove", "--sync", str(x), str(y)], check=True)

    def shows_ink(self, shell, place, width=120, height=12):
        """Whether anything darker than the page's white is drawn to the right
        of place: the text of a menu item once its menu is open."""
        shot = shell.screenshot(os.path.join(self.homes.root, "now.png"))
        x, y = self.origin[0] + place[0] - 10, self.origin[1] + place[1] - height // 2
        darkest = subprocess.run(["convert", shot, "-crop", f"{width}x{height}+{x}+{y}",
                                  "-colorspace", "gray", "-format", "%[fx:minima]", "info:"],
                                 capture_output=True, text=True, check=True).stdout
        return float(darkest) < 0.5

    def open_menu(self, shell, button, item):
        """Clicks button until its menu shows item: the page's scripts make
        the menu only some time after the page has loaded."""
        def opened():
            self.click(button)
            try:
                return wait_for(lambda: self.shows_ink(shell, item), 2.0, interval=0.2)
            except AssertionError:
                keys(shell.window_id(), "Escape")
                return False
        wait_for(opened, 30, interval=0.5, what=f"the menu of {button} to show {item}")

    def screenshot_on_failure(self, shell, name):
        where = os.environ.get("LUMIVANT_SCREENSHOTS", self.homes.root)
        self.addCleanup(lambda: shell.process.poll() is None and shell.screenshot(
            os.path.join(where, name)))

    @NEEDS_ROOT
    def test_another_local_user_can_neither_list_nor_write_files_nor_start_a_kernel(self):
        shell = self.start_shell(executable=os.path.join(self.bundle, "Lumivant"))
        shell.wait_for_line("^" + LOADED + "Home Page - Select or create a notebook$", timeout=90)
        (server,) = wait_for(lambda: processes_mentioning(self.bundle, "app.launcher"),
                             what="the notebook server")
        with open(f"/proc/{server}/cmdline", "rb") as cmdline:
            args = cmdline.read().decode().split("\0")
        port = args[args.index("--port") + 1]

        stranger = other_user(self, "lumivant-neighbour")
        answers = dict(line.split() for line in stranger.run(STRANGER, port))
        self.assertEqual(answers, {name: "403" for name in
                                   ("tree", "list", "write", "kernel", "terminal", "channels")})
        self.assertFalse(os.path.exists(os.path.join(self.homes.home, "stranger.txt")))
        self.assertEqual(processes_mentioning("ipykernel_launcher", self.homes.root), [])
        # What the stranger was refused, the shell's view is given.
        self.assertIn(b'"type": "directory"', ask_backend(server, port, "/api/contents"))
        self.assertEqual(shell.terminate(), 0)

    def test_a_notebook_is_made_run_downloaded_and_left_and_quitting_ends_every_process(self):
        shell = self.start_shell(executable=os.path.join(self.bundle, "Lumivant"))
        window = shell.window_id()
        self.screenshot_on_failure(shell, "jupyter-failed.png")
        shell.wait_for_line("^" + LOADED + "Home Page - Select or create a notebook$", timeout=90)
        self.origin = geometry(window)[:2]
        server = wait_for(lambda: processes_mentioning(self.bundle, "app.launcher"),
                          what="the notebook server")

        start = len(shell.stderr_lines())
        self.open_menu(shell, NEW_BUTTON, NEW_PYTHON_3)
        self.click(NEW_PYTHON_3)
        # The notebook's page starts its kernel once its scripts run.
        kernels = wait_for(lambda: processes_mentioning("ipykernel_launcher", self.homes.root),
                           timeout=90, what="the kernel")
        self.assertTrue(os.path.exists(os.path.join(self.homes.home, "Untitled.ipynb")))
        self.assertEqual(shell_windows(shell), [window], "the notebook opens in the one window")

        # Ctrl+A belongs to the cell's editor, which selects its own text;
        # typing replaces it. The notebook is told not to save by itself, so
        # that what is typed later stays unsaved until the test leaves it:
        # otherwise it saves a second after the user chose to stay.
        self.click(FIRST_CELL)
        type_text(window, "1+1")
        keys(window, "ctrl+a")
        type_text(window, "%autosave 0")
        keys(window, "Return")
        type_text(window, "print(6*7)")
        keys(window, "shift+Return")
        wait_for(lambda: self.shows_ink(shell, FIRST_OUTPUT, width=40, height=36),
                 interval=0.3, what="the cell's output")

        saved = os.path.join(self.homes.root, "downloaded.ipynb")
        # The notebook's menus open on hover; under load a hover can land
        # before the submenu is there, and the click then hits nothing. The
        # menu is walked again until the save dialog shows.
        for attempt in range(3):
            self.click(FILE_MENU)
            self.hover(DOWNLOAD_AS)
            self.hover(DOWNLOAD_AS_SUBMENU)
            self.click(NOTEBOOK_IPYNB)
            try:
                wait_for_dialog(shell, window, timeout=10)
                break
            except AssertionError:
                if attempt == 2:
                    raise
                keys(window, "Escape")
        save_as(shell, window, saved)
        wait_for(lambda: os.path.exists(saved) and os.path.getsize(saved) > 0, what="the .ipynb")
        with open(saved, encoding="utf-8") as notebook:
            cell = json.load(notebook)["cells"][0]
        self.assertEqual("".join(cell["source"]), "%autosave 0\nprint(6*7)")
        printed = [output for output in cell["outputs"] if output["output_type"] == "stream"]
        self.assertEqual("".join(printed[0]["text"]), "Autosave disabled\n42\n")

        # Unsaved changes in the next cell: the way back to the tree asks. The
        # notebook's title names it only once its script has run, which may be
        # after the load that the line reports.
        shell.wait_for_line("^" + LOADED + "(Untitled - )?Jupyter Notebook$", start=start,
                            timeout=120)
        start = len(shell.stderr_lines())
        self.click(SECOND_CELL)
        type_text(window, "x = 1")
        self.click(JUPYTER_LOGO)
        dialog = wait_for_dialog(shell, window)
        keys(dialog, "Escape")  # 留下
        wait_for_no_dialog(shell, window)
        self.assertEqual([line for line in shell.stderr_lines()[start:] if line.startswith(LOADED)],
                         [], "staying keeps the notebook")

        # The notebook still holds the unsaved cell (it saves only when told
        # to), so quitting asks it first; 离开, the default, quits.
        with open(os.path.join(self.homes.home, "Untitled.ipynb"), encoding="utf-8") as on_disk:
            self.assertNotIn("x = 1", on_disk.read(), "the cell typed last is not saved")
        keys(window, "ctrl+q")
        keys(wait_for_dialog(shell, window), "Return")
        self.assertEqual(shell.wait(30), 0)
        for what, pids in (("notebook server", server), ("kernel", kernels)):
            wait_for(lambda: not any(os.path.exists(f"/proc/{pid}") for pid in pids), 15,
                     what=f"the {what} to end")
        self.assertEqual(processes_mentioning(self.homes.root), [], "nothing of this run is left")

    def arrive_leaving_if_asked(self, shell, window, start, title, timeout=60):
        """Waits for the load of the page titled title; a notebook that counts
        as changed (whether it does depends on how far its kernel has come)
        asks before it is left, and 离开, the default, is chosen."""
        def arrived():
            dialogs = [w for w in shell_windows(shell) if w != window]
            if dialogs:
                keys(dialogs[-1], "Return")
                wait_for_no_dialog(shell, window)
            return any(re.match("^" + LOADED + title + "$", line)
                       for line in shell.stderr_lines()[start:])
        wait_for(arrived, timeout, interval=0.3, what=f"the page {title}")

    def test_back_from_a_new_notebook_takes_one_press_and_close_and_halt_returns_to_the_tree(self):
        shell = self.start_shell(executable=os.path.join(self.bundle, "Lumivant"),
                                 env={"NO_AT_BRIDGE": "0"})
        window = shell.window_id()
        self.screenshot_on_failure(shell, "jupyter-back-failed.png")
        shell.wait_for_line("^" + LOADED + TREE_TITLE + "$", timeout=90)
        self.origin = geometry(window)[:2]
        start = len(shell.stderr_lines())
        self.open_menu(shell, NEW_BUTTON, NEW_PYTHON_3)
        self.click(NEW_PYTHON_3)
        kernels = wait_for(lambda: processes_mentioning("ipykernel_launcher", self.homes.root),
                           timeout=90, what="the kernel")
        shell.wait_for_line("^" + LOADED + NOTEBOOK_TITLE + "$", start=start, timeout=120)

        # The New menu's "#" link left an entry of the tree page behind; one
        # press of 后退 shows the tree, and there is nothing further back.
        start = len(shell.stderr_lines())
        keys(window, "alt+Left")
        self.arrive_leaving_if_asked(shell, window, start, TREE_TITLE)
        wait_for(lambda: not accessible(shell, "后退", role="menu item", name="后退")["sensitive"],
                 what="后退 greyed on the first page")
        # A second new notebook: File > Close and Halt stops its kernel and
        # closes the window, and the user is back on the tree.
        start = len(shell.stderr_lines())
        self.open_menu(shell, NEW_BUTTON, NEW_PYTHON_3)
        self.click(NEW_PYTHON_3)
        shell.wait_for_line("^" + LOADED + NOTEBOOK_TITLE + "$", start=start, timeout=120)
        first = set(kernels)
        kernels = wait_for(lambda: [pid for pid in processes_mentioning(
            "ipykernel_launcher", self.homes.root) if pid not in first],
            timeout=90, what="the second notebook's kernel")
        # The item acts only once the notebook's scripts have bound it, which
        # under load may be a while after the page has loaded: the menu is
        # walked again until it does.
        start = len(shell.stderr_lines())
        for attempt in range(3):
            self.open_menu(shell, FILE_MENU, CLOSE_AND_HALT)
            self.click(CLOSE_AND_HALT)
            try:
                self.arrive_leaving_if_asked(shell, window, start, TREE_TITLE, timeout=30)
                break
            except AssertionError:
                if attempt == 2:
                    raise
        wait_for(lambda: not any(os.path.exists(f"/proc/{pid}") for pid in kernels), 30,
                 what="the second notebook's kernel to end")
        keys(window, "ctrl+q")
        self.assertEqual(shell.wait(30), 0)


if __name__ == "__main__":
    unittest.main()
