"""The window on laptop screens and on every desktop, with the local sample
backend: the first-run frame leaves room for a panel under Weston and mutter,
which report the whole monitor as the work area, at 1280x800 and 1440x900
(mutter maximises it, and that is remembered though mutter reports it tiled);
a window maximised over a frame fitted to a screen 900 px tall is remembered
maximised under xfwm4; and so is one maximised under mutter, which reports it
as tiled too, under X11 and, with Super+Up, under Wayland."""

import os
import re
import unittest

from browser_support import HOME_PAGE, LOADED, start_showing
from desktops import HeadlessMutter, HeadlessWeston, XScreen, net_wm_state, set_maximized
from harness import ShellTest, wait_for
from window_state import saved, shots_dir

MAXIMIZED = {"_NET_WM_STATE_MAXIMIZED_VERT", "_NET_WM_STATE_MAXIMIZED_HORZ"}
# Room for a panel or a dock on each axis, which these compositors do not report.
PANEL = 64


class FirstRunFrameUnderWaylandTest(ShellTest):
    def extent_on(self, compositor, name):
        """The first-run window's extent, title bar included and shadow left
        out, as the shell tells the compositor."""
        shell = self.start_shell(env=dict(compositor.env(), WAYLAND_DEBUG="client"))
        shell.wait_for_line("^" + LOADED + HOME_PAGE + "$", timeout=60)

        def extent():
            told = [m.group(1) for m in (re.search(
                r"xdg_surface@\d+\.set_window_geometry\(([-\d, ]+)\)", line)
                for line in shell.stderr_lines()) if m]
            # The first extent is the frame the shell asked for; mutter then
            # maximises a window that takes most of its monitor.
            return tuple(map(int, told[0].split(", ")))[2:] if told else None
        size = wait_for(extent, what="the window's extent")
        if isinstance(compositor, HeadlessWeston):
            compositor.screenshot(os.path.join(shots_dir(self.homes), f"{name}.png"))
        self.assertEqual(shell.terminate(), 0)
        if isinstance(compositor, HeadlessMutter):
            # Maximised by mutter, which reports it tiled as well: remembered
            # so, over the first-run frame.
            self.assertEqual(saved(self.homes), {"width": "1280", "height": "840",
                                                 "maximized": "true"})
        else:
            self.assertIsNone(saved(self.homes), "the first-run frame is no choice of the user's")
        return size

    def check(self, compositor, width, height, name):
        self.addCleanup(compositor.close)
        extent = self.extent_on(compositor, name)
        self.assertLessEqual(extent[0], width - PANEL, f"{extent} on {width}x{height}")
        self.assertLessEqual(extent[1], height - PANEL, f"{extent} on {width}x{height}")
        self.assertGreaterEqual(extent[0], 900)
        self.assertGreaterEqual(extent[1], 600)

    def test_weston_1280x800(self):
        self.check(HeadlessWeston(f"lumivant-small-{os.getpid()}", 1280, 800), 1280, 800,
                   "weston-1280x800")

    def test_weston_1440x900(self):
        self.check(HeadlessWeston(f"lumivant-small-{os.getpid()}", 1440, 900), 1440, 900,
                   "weston-1440x900")

    def test_mutter_1280x800(self):
        self.check(HeadlessMutter(f"lumivant-mutter-{os.getpid()}", 1280, 800), 1280, 800,
                   "mutter-1280x800")


class MaximisedRememberedTest(ShellTest):
    def check_maximised_is_remembered(self, window_manager, size):
        screen = XScreen(window_manager, size)
        self.addCleanup(screen.close)
        homes = self.homes
        shell, window = start_showing(self, homes)
        set_maximized(window, True)
        wait_for(lambda: MAXIMIZED <= net_wm_state(window), what="the window maximised")
        wait_for(lambda: saved(homes) and saved(homes)["maximized"] == "true",
                 what=f"the maximised state saved (have {saved(homes)})")
        self.assertEqual(shell.terminate(), 0)

        shell, window = start_showing(self, homes)
        wait_for(lambda: MAXIMIZED <= net_wm_state(window), what="the window back maximised")
        shell.screenshot(os.path.join(shots_dir(homes), f"{window_manager}-{size}-maximised.png"))
        set_maximized(window, False)
        wait_for(lambda: not MAXIMIZED & net_wm_state(window), what="the window restored")
        wait_for(lambda: saved(homes)["maximized"] == "false", what="the restored state saved")
        self.assertEqual(shell.terminate(), 0)

    def test_over_a_fitted_frame_under_xfwm4_at_1440x900(self):
        self.check_maximised_is_remembered("xfwm4", "1440x900")

    def test_maximised_and_tiled_under_mutter(self):
        self.check_maximised_is_remembered("mutter", "1920x1080")

    def test_maximised_with_super_up_under_mutter_on_wayland(self):
        mutter = HeadlessMutter(f"lumivant-mutter-{os.getpid()}", 1920, 1080)
        self.addCleanup(mutter.close)
        homes = self.homes
        env = dict(mutter.env(), WAYLAND_DEBUG="client")

        def told(shell, pattern):
            return [m for m in (re.search(pattern, line) for line in shell.stderr_lines()) if m]

        # Room enough on this monitor that mutter leaves the first-run frame as it is.
        shell = self.start_shell(env=env)
        shell.wait_for_line("^" + LOADED + HOME_PAGE + "$", timeout=60)
        self.assertIsNone(saved(homes), "not maximised by mutter")

        # Super+Up maximises the window that has the focus, and again does no
        # harm: pressed until the shell, focused by then, saves it maximised.
        def maximised_by_the_user():
            mutter.press("Super_L", "Up")
            return saved(homes) and saved(homes)["maximized"] == "true"
        wait_for(maximised_by_the_user, interval=1.0,
                 what=f"the maximised state saved (have {saved(homes)})")
        self.assertEqual(shell.terminate(), 0)

        # Asked for maximised from the start, and given the whole monitor.
        shell = self.start_shell(env=env)
        shell.wait_for_line("^" + LOADED + HOME_PAGE + "$", timeout=60)
        wait_for(lambda: told(shell, r"xdg_toplevel@\d+\.set_maximized\(\)"),
                 what="the window asking to be maximised")
        wait_for(lambda: told(shell, r"xdg_toplevel@\d+\.configure\(1920, 1080, "),
                 what="mutter's maximised frame")
        self.assertEqual(shell.terminate(), 0)
        self.assertEqual(saved(homes)["maximized"], "true")


if __name__ == "__main__":
    unittest.main()
