"""Window systems of the tests' own, for the behaviours that depend on them:
an Xvfb screen with a real window manager (xfwm4, openbox), and a headless
Weston compositor. Each one is private to the test that starts it, so the
window managers never meet the other tests' windows."""

import os
import shutil
import signal
import subprocess
import tempfile

from browser_support import send_client_message
from harness import wait_for
from read_back import SYSTEM_PYTHON


class XScreen:
    """An Xvfb display (1920x1080 unless size says otherwise) with the given
    window manager running on it. While it is open, DISPLAY names it, for the
    shell and for xdotool alike."""

    def __init__(self, window_manager, size="1920x1080"):
        read, write = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write), "-screen", "0", f"{size}x24", "-nolisten", "tcp"],
            pass_fds=(write,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write)
        with os.fdopen(read) as numbers:
            self.display = ":" + numbers.readline().strip()
        self._saved = os.environ.get("DISPLAY")
        os.environ["DISPLAY"] = self.display
        self._wm_command = {"xfwm4": ["xfwm4", "--compositor=off", "--sm-client-disable"],
                            "openbox": ["openbox", "--sm-disable"],
                            "mutter": ["mutter", "--x11", "--replace", "--sm-disable"]}[window_manager]
        self._wm_log = tempfile.TemporaryFile()
        self._start_wm()
        self._wm_starts = 1
        try:
            wait_for(self._wm_ready, 60, what=f"{window_manager} to manage the screen")
        except AssertionError as error:
            self.close()
            raise AssertionError(f"{error}; its output: {self._wm_output()!r}") from None

    def _start_wm(self):
        self.wm = subprocess.Popen(self._wm_command, stdin=subprocess.DEVNULL,
                                   stdout=self._wm_log, stderr=self._wm_log,
                                   start_new_session=True)

    def _wm_output(self):
        self._wm_log.seek(0)
        return self._wm_log.read().decode(errors="replace").strip()

    def _wm_ready(self):
        # A window manager that gave up while the display was still settling
        # (seen once under load) gets one more start.
        if self.wm.poll() is not None and self._wm_starts < 2:
            self._wm_starts += 1
            self._start_wm()
        out = subprocess.run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"],
                             capture_output=True, text=True).stdout
        return "window id" in out

    def close(self):
        for process in (self.wm, self.xvfb):
            process.terminate()
            try:
                process.wait(10)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
        if self._saved is None:
            os.environ.pop("DISPLAY", None)
        else:
            os.environ["DISPLAY"] = self._saved


def net_wm_state(window):
    """The window's _NET_WM_STATE atoms, as the window manager set them."""
    out = subprocess.run(["xprop", "-id", str(window), "_NET_WM_STATE"],
                         capture_output=True, text=True).stdout
    return {atom.strip() for atom in out.partition("=")[2].split(",") if atom.strip()}


def frame_extents(window):
    """(left, right, top, bottom) of the window manager's frame around the
    window: its borders and title bar."""
    out = subprocess.run(["xprop", "-id", str(window), "_NET_FRAME_EXTENTS"],
                         capture_output=True, text=True).stdout
    return tuple(int(value) for value in out.partition("=")[2].split(","))


def outer_frame(window):
    """(x, y, width, height) of the window with the window manager's frame
    around it, in the screen's pixels. The position is xwininfo's: xdotool's
    counts the frame's offset twice for a framed window."""
    out = subprocess.run(["xwininfo", "-id", str(window)], capture_output=True, text=True,
                         check=True).stdout
    values = {}
    for line in out.splitlines():
        name, _, value = line.strip().partition(":")
        values[name] = value.strip()
    left, right, top, bottom = frame_extents(window)
    return (int(values["Absolute upper-left X"]) - left, int(values["Absolute upper-left Y"]) - top,
            int(values["Width"]) + left + right, int(values["Height"]) + top + bottom)


def set_maximized(window, maximized):
    """Asks the window manager to maximise or restore the window, as its
    title bar button does: a _NET_WM_STATE client message to the root window."""
    send_client_message(window, "_NET_WM_STATE",
                        [1 if maximized else 0,  # _NET_WM_STATE_ADD / _REMOVE
                         "_NET_WM_STATE_MAXIMIZED_VERT", "_NET_WM_STATE_MAXIMIZED_HORZ",
                         1],  # from an application
                        to_root=True)


class HeadlessWeston:
    """A headless Weston compositor on a 1920x1080 output (or width by
    height), drawing in memory so that its screenshooter can photograph it.
    env() gives what a client needs to use it, and only it."""

    def __init__(self, name, width=1920, height=1080):
        self.runtime = tempfile.mkdtemp(prefix="lumivant-weston-")
        os.chmod(self.runtime, 0o700)
        self.socket = name
        env = dict(os.environ, XDG_RUNTIME_DIR=self.runtime)
        self.log = os.path.join(self.runtime, "weston.log")
        self.process = subprocess.Popen(
            ["weston", "--backend=headless-backend.so", "--use-pixman", "--debug",
             f"--socket={name}", f"--width={width}", f"--height={height}", "--idle-time=0",
             f"--log={self.log}"],
            env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL, start_new_session=True)
        wait_for(lambda: os.path.exists(os.path.join(self.runtime, name)), 30,
                 what="weston's socket")

    def env(self):
        return {"XDG_RUNTIME_DIR": self.runtime, "WAYLAND_DISPLAY": self.socket,
                "GDK_BACKEND": "wayland", "DISPLAY": ""}

    def screenshot(self, path):
        """Photographs the whole output into path with weston-screenshooter."""
        workdir = tempfile.mkdtemp(dir=self.runtime)
        subprocess.run(["weston-screenshooter"], cwd=workdir, env=dict(os.environ, **self.env()),
                       check=True, capture_output=True, timeout=30)
        shot = [name for name in os.listdir(workdir) if name.endswith(".png")]
        shutil.move(os.path.join(workdir, shot[0]), path)
        return path

    def close(self):
        self.process.terminate()
        try:
            self.process.wait(10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        shutil.rmtree(self.runtime, ignore_errors=True)


# Presses keys into mutter as a keyboard of its remote desktop would: the
# keysyms named in the arguments go down in order and come up in reverse.
_MUTTER_KEYS = r"""
import sys, gi
gi.require_version("Gdk", "3.0")
from gi.repository import Gdk, Gio, GLib

bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)

def call(path, interface, method, arguments=None, reply=None):
    return bus.call_sync("org.gnome.Mutter.RemoteDesktop", path,
                         "org.gnome.Mutter.RemoteDesktop" + interface, method, arguments,
                         GLib.VariantType(reply) if reply else None, 0, -1, None)

session = call("/org/gnome/Mutter/RemoteDesktop", "", "CreateSession", None, "(o)")[0]
call(session, ".Session", "Start")
keysyms = [Gdk.keyval_from_name(name) for name in sys.argv[1:]]
for keysym, pressed in [(k, True) for k in keysyms] + [(k, False) for k in reversed(keysyms)]:
    call(session, ".Session", "NotifyKeyboardKeysym", GLib.Variant("(ub)", (keysym, pressed)))
call(session, ".Session", "Stop")
"""


class HeadlessMutter:
    """mutter as a headless Wayland compositor on one virtual monitor of the
    given size, on a session bus of its own, without Xwayland. env() gives
    what a client needs to use it, and only it; press() types into it."""

    def __init__(self, name, width, height):
        self.runtime = tempfile.mkdtemp(prefix="lumivant-mutter-")
        os.chmod(self.runtime, 0o700)
        self.socket = name
        self.log = tempfile.TemporaryFile()
        env = dict(os.environ, XDG_RUNTIME_DIR=self.runtime)
        env.pop("DISPLAY", None)
        # The bus's address, for press(); written before mutter starts on it.
        self._bus = os.path.join(self.runtime, "bus")
        self.process = subprocess.Popen(
            ["dbus-run-session", "--", "sh", "-c",
             'printf %s "$DBUS_SESSION_BUS_ADDRESS" > "$0" && exec "$@"', self._bus,
             "mutter", "--wayland", "--headless", "--no-x11",
             f"--virtual-monitor={width}x{height}", f"--wayland-display={name}"],
            env=env, stdin=subprocess.DEVNULL, stdout=self.log, stderr=self.log,
            start_new_session=True)
        try:
            wait_for(lambda: os.path.exists(os.path.join(self.runtime, name)), 60,
                     what="mutter's socket")
        except AssertionError:
            self.close()
            raise

    def press(self, *keys):
        """Presses the keys (X keysym names, such as "Super_L", "Up") together
        through mutter's remote desktop, as the user's keyboard would."""
        with open(self._bus) as bus:
            address = bus.read()
        subprocess.run([SYSTEM_PYTHON, "-c", _MUTTER_KEYS, *keys], check=True, timeout=30,
                       env=dict(os.environ, DBUS_SESSION_BUS_ADDRESS=address))

    def env(self):
        return {"XDG_RUNTIME_DIR": self.runtime, "WAYLAND_DISPLAY": self.socket,
                "GDK_BACKEND": "wayland", "DISPLAY": ""}

    def close(self):
        # The bus and mutter are one process group.
        try:
            os.killpg(self.process.pid, signal.SIGTERM)
        except ProcessLookupError:
            pass
        try:
            self.process.wait(10)
        except subprocess.TimeoutExpired:
            os.killpg(self.process.pid, signal.SIGKILL)
            self.process.wait()
        shutil.rmtree(self.runtime, ignore_errors=True)
        self.log.close()
