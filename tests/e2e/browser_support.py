"""What the window, menu and browser end-to-end tests share: a server of the
sample backend's pages that the shell uses as its organisation server, a
recorder of the URLs handed to the system, and X11 helpers that act as a
user's keyboard and window manager would."""

import ctypes
import ctypes.util
import http.server
import json
import os
import stat
import subprocess
import time
import urllib.parse

from harness import QuietHandler, process_command_lines, process_tree, serve_on_loopback, wait_for

STATIC_ROOT = os.path.join(os.path.dirname(__file__), "..", "..", "sample-backend", "app", "static")
LOADED = "shell: webview loaded: "
HOME_PAGE = "示例研究台 · 首页"


def start_showing(test, homes, title=HOME_PAGE):
    """Starts a shell for homes, ended with the test, and gives it and its
    window once the page of that title has loaded."""
    shell = test.start_shell(homes)
    window = shell.window_id()
    shell.wait_for_line("^" + LOADED + title + "$")
    return shell, window
# WebKitGTK paints a transparent background black when compositing is off, so
# the window's background only shows with it on.
COMPOSITING = {"WEBKIT_DISABLE_COMPOSITING_MODE": "0"}


class RecordingServer:
    """An HTTP server on 127.0.0.1 in a thread. It serves the sample pages,
    answers the readiness probe, sends "/" on to start_page, and records every
    request it receives."""

    def __init__(self, start_page="/", serve_pages=True, port=0):
        self.start_page = start_page
        self.requests = []
        outer = self

        class Handler(http.server.SimpleHTTPRequestHandler, QuietHandler):
            def __init__(self, *args, **kwargs):
                super().__init__(*args, directory=STATIC_ROOT, **kwargs)

            def _record(self):
                outer.requests.append((self.command, self.path))

            def do_GET(self):
                self._record()
                if not serve_pages:
                    return self.answer(200, b"outside")
                path = urllib.parse.urlsplit(self.path).path
                if path == "/health/ready":
                    return self.answer(200, b"ready")
                if path == "/":
                    self.send_response(302)
                    self.send_header("Location", outer.start_page)
                    self.send_header("Content-Length", "0")
                    self.end_headers()
                    return None
                return super().do_GET()

            def do_POST(self):
                self._record()
                self.answer(200, b"posted")

        self.httpd, self.thread = serve_on_loopback(Handler, port)
        self.port = self.httpd.server_address[1]
        self.url = f"http://127.0.0.1:{self.port}/"

    def use_as_organisation_server(self, homes):
        os.makedirs(homes.data_root, exist_ok=True)
        with open(os.path.join(homes.data_root, "server.json"), "w") as server_file:
            json.dump({"url": self.url}, server_file)

    def close(self):
        self.httpd.shutdown()
        self.httpd.server_close()


def install_url_recorder(homes):
    """Makes a recording program the user's default handler for https, http and
    mailto URLs; returns the file that receives one URL per line."""
    record = os.path.join(homes.root, "opened-urls.txt")
    applications = os.path.join(homes.xdg["XDG_DATA_HOME"], "applications")
    os.makedirs(applications, exist_ok=True)
    os.makedirs(homes.xdg["XDG_CONFIG_HOME"], exist_ok=True)
    script = os.path.join(homes.root, "record-url")
    with open(script, "w") as handler:
        handler.write(f"#!/bin/sh\nprintf '%s\\n' \"$1\" >> '{record}'\n")
    os.chmod(script, os.stat(script).st_mode | stat.S_IXUSR)
    with open(os.path.join(applications, "lumivant-test-recorder.desktop"), "w") as desktop:
        desktop.write("[Desktop Entry]\nType=Application\nName=URL recorder\n"
                      f"Exec={script} %u\nNoDisplay=true\n"
                      "MimeType=x-scheme-handler/https;x-scheme-handler/http;x-scheme-handler/mailto;\n")
    with open(os.path.join(homes.xdg["XDG_CONFIG_HOME"], "mimeapps.list"), "w") as mimeapps:
        mimeapps.write("[Default Applications]\n")
        for scheme in ("https", "http", "mailto"):
            mimeapps.write(f"x-scheme-handler/{scheme}=lumivant-test-recorder.desktop\n")
    return record


def recorded_urls(record):
    try:
        with open(record) as lines:
            return [line.rstrip("\n") for line in lines]
    except FileNotFoundError:
        return []


def xdotool(*args):
    return subprocess.run(["xdotool", *map(str, args)], capture_output=True, text=True).stdout


def focus(window):
    """Gives the window the keyboard focus, as a window manager would on a click."""
    xdotool("windowfocus", "--sync", window)


def keys(window, *names):
    focus(window)
    for name in names:
        xdotool("key", "--clearmodifiers", name)
        time.sleep(0.05)


def type_text(window, text):
    focus(window)
    xdotool("type", "--delay", "20", text)


def shell_windows(shell):
    return xdotool("search", "--onlyvisible", "--pid", shell.process.pid).split()


def wait_for_dialog(shell, main, timeout=15.0):
    """A shown window of the shell's other than its main window."""
    def find():
        others = [w for w in shell_windows(shell) if w != main]
        return others[-1] if others else None
    return wait_for(find, timeout, what="a dialog of the shell")


def wait_for_no_dialog(shell, main, timeout=15.0):
    wait_for(lambda: [w for w in shell_windows(shell) if w != main] == [], timeout,
             what="the dialog to close")


def save_as(shell, window, path):
    """Answers the save dialog "保存研究文件" with path, as the user types it."""
    dialog = wait_for_dialog(shell, window)
    assert window_title(dialog) == "保存研究文件", window_title(dialog)
    keys(dialog, "ctrl+a")
    type_text(dialog, path)
    keys(dialog, "Return")
    wait_for_no_dialog(shell, window)


def window_title(window):
    return xdotool("getwindowname", window).strip()


def has_icon(window):
    """Whether the window publishes an icon (_NET_WM_ICON) for title bars,
    task bars and window switchers."""
    out = subprocess.run(["xprop", "-id", str(window), "_NET_WM_ICON"],
                         capture_output=True, text=True).stdout
    return "_NET_WM_ICON(CARDINAL) =" in out


def geometry(window):
    """(x, y, width, height) of the window as the X server reports it."""
    values = {}
    for line in xdotool("getwindowgeometry", "--shell", window).split():
        name, _, value = line.partition("=")
        values[name] = int(value) if value.lstrip("-").isdigit() else value
    return values["X"], values["Y"], values["WIDTH"], values["HEIGHT"]


def send_client_message(window, message_type, data, to_root=False):
    """Sends a 32-bit X client message about the window, as a window manager
    or a pager would: to the window itself, or to the root window with the
    mask that window managers listen to."""
    xlib = ctypes.cdll.LoadLibrary(ctypes.util.find_library("X11"))
    xlib.XOpenDisplay.restype = ctypes.c_void_p
    xlib.XOpenDisplay.argtypes = [ctypes.c_char_p]
    xlib.XInternAtom.restype = ctypes.c_ulong
    xlib.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    xlib.XDefaultRootWindow.restype = ctypes.c_ulong
    xlib.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
    xlib.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                                ctypes.c_void_p]
    xlib.XFlush.argtypes = [ctypes.c_void_p]
    xlib.XCloseDisplay.argtypes = [ctypes.c_void_p]

    class ClientMessage(ctypes.Structure):
        _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                    ("display", ctypes.c_void_p), ("window", ctypes.c_ulong),
                    ("message_type", ctypes.c_ulong), ("format", ctypes.c_int),
                    ("data", ctypes.c_long * 5)]

    class Event(ctypes.Union):
        _fields_ = [("message", ClientMessage), ("pad", ctypes.c_long * 24)]

    display = xlib.XOpenDisplay(None)
    try:
        atom = lambda name: xlib.XInternAtom(display, name.encode(), 0)
        event = Event()
        event.message.type = 33  # ClientMessage
        event.message.window = int(window)
        event.message.message_type = atom(message_type)
        event.message.format = 32
        for index, value in enumerate(data):
            event.message.data[index] = atom(value) if isinstance(value, str) else value
        if to_root:
            mask = (1 << 19) | (1 << 20)  # SubstructureNotify | SubstructureRedirect
            xlib.XSendEvent(display, xlib.XDefaultRootWindow(display), 0, mask, ctypes.byref(event))
        else:
            xlib.XSendEvent(display, int(window), 0, 0, ctypes.byref(event))
        xlib.XFlush(display)
    finally:
        xlib.XCloseDisplay(display)


def close_window(window):
    """Asks the window to close as a window manager's close button does: a
    WM_DELETE_WINDOW client message (xdotool windowclose would destroy it)."""
    send_client_message(window, "WM_PROTOCOLS", ["WM_DELETE_WINDOW", 0])  # 0: CurrentTime


def pixel(png, x, y):
    """The (r, g, b) of one pixel of a screenshot."""
    out = subprocess.run(["convert", png, "-crop", f"1x1+{x}+{y}", "-depth", "8", "txt:-"],
                         capture_output=True, text=True, check=True).stdout
    values = out.splitlines()[-1].split("(")[1].split(")")[0].split(",")
    return tuple(int(float(v)) for v in values[:3])


def engine_process(shell, name):
    """The shell's WebKit helper process of that name (WebKitWebProcess, ...)."""
    commands = process_command_lines()
    for pid in process_tree(shell.process.pid):
        args = commands.get(pid) or [""]
        if os.path.basename(args[0]) == name:
            return pid
    return None


def spread(png, x, y, width, height):
    """The standard deviation of the region's pixels: 0 for a region of one colour."""
    out = subprocess.run(["convert", png, "-crop", f"{width}x{height}+{x}+{y}", "+repage",
                          "-colorspace", "gray", "-format", "%[fx:standard_deviation]", "info:"],
                         capture_output=True, text=True, check=True).stdout
    return float(out)


def rendering_threads(pid):
    """The threads of Mesa's software rasteriser (llvmpipe-0, ...), started with
    a process's first OpenGL context, and of the engine's compositor."""
    names = []
    for task in os.listdir(f"/proc/{pid}/task"):
        with open(f"/proc/{pid}/task/{task}/comm") as comm:
            names.append(comm.read().strip())
    return sorted(name for name in names if name.startswith(("llvmpipe", "eadedCompositor")))


def mapped_libraries(pid):
    """The file names of the shared libraries a process has mapped."""
    with open(f"/proc/{pid}/maps") as maps:
        paths = (line.split()[-1] for line in maps if ".so" in line)
        return {os.path.basename(path) for path in paths}
