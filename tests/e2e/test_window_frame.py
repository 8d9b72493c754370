"""The remembered window frame under real window systems: under xfwm4 and
openbox a window quit while maximised comes back maximised and un-maximises
to its last normal frame, and cannot be made smaller than 900 by 600 with its
title bar; under Weston, which tells no client where its window is and where
the window draws its own title bar, a saved size comes back as it was left,
never below the minimum with the title bar, and a position saved under X11
stays as it was."""

import os
import re
import time
import unittest

from browser_support import HOME_PAGE, LOADED, geometry, start_showing, xdotool
from desktops import HeadlessWeston, XScreen, frame_extents, net_wm_state, set_maximized
from harness import ShellTest, wait_for
from window_state import saved, shots_dir, state_file

MAXIMIZED = {"_NET_WM_STATE_MAXIMIZED_VERT", "_NET_WM_STATE_MAXIMIZED_HORZ"}


class WindowManagerFrameTest(ShellTest):
    def check_window_manager(self, name):
        screen = XScreen(name)
        self.addCleanup(screen.close)
        homes = self.homes

        shell, window = start_showing(self, homes)
        normal = wait_for(lambda: geometry(window) if geometry(window)[2:] == (1280, 840) else None,
                          what="the first-run frame")
        wait_for(lambda: saved(homes) and saved(homes)["width"] == "1280", what="the first frame saved")
        set_maximized(window, True)
        wait_for(lambda: MAXIMIZED <= net_wm_state(window), what="the window maximised")
        wait_for(lambda: saved(homes)["maximized"] == "true", what="the maximised state saved")
        self.assertEqual((saved(homes)["width"], saved(homes)["height"]), ("1280", "840"),
                         "the normal frame is kept under the maximised one")
        self.assertEqual(shell.terminate(), 0)

        shell, window = start_showing(self, homes)
        wait_for(lambda: MAXIMIZED <= net_wm_state(window), what="the window back maximised")
        time.sleep(0.5)  # let the page repaint at the new size; nothing to wait on
        shell.screenshot(os.path.join(shots_dir(homes), f"{name}-maximised.png"))
        set_maximized(window, False)
        wait_for(lambda: geometry(window) == normal,
                 what=f"the normal frame {normal} back (have {geometry(window)})")
        time.sleep(0.5)  # as above
        shell.screenshot(os.path.join(shots_dir(homes), f"{name}-restored.png"))

        # A user dragging the border inwards: the window manager stops at the
        # minimum, which the window has with the title bar the manager draws.
        xdotool("windowsize", window, 300, 200)
        wait_for(lambda: geometry(window)[2:] != normal[2:], what="the resize")
        _, _, width, height = geometry(window)
        left, right, top, bottom = frame_extents(window)
        self.assertGreater(top, 0, "a title bar")
        self.assertEqual((left + width + right, top + height + bottom), (900, 600))
        self.assertEqual(shell.terminate(), 0)
        self.assertEqual(saved(homes)["maximized"], "false")

        # Left at the minimum, it comes back at the size it was left, frame and all.
        left_at = (int(saved(homes)["width"]), int(saved(homes)["height"]))
        self.assertEqual(left_at, (width, height))
        shell, window = start_showing(self, homes)
        wait_for(lambda: len(frame_extents(window)) == 4 and frame_extents(window)[2] > 0,
                 what="the window framed")
        wait_for(lambda: geometry(window)[2:] == left_at,
                 what=f"the size left, {left_at} (have {geometry(window)[2:]})")
        self.assertEqual(shell.terminate(), 0)
        self.assertEqual((int(saved(homes)["width"]), int(saved(homes)["height"])), left_at)

    def test_xfwm4(self):
        self.check_window_manager("xfwm4")

    def test_openbox(self):
        self.check_window_manager("openbox")


class WaylandFrameTest(ShellTest):
    def test_the_saved_size_comes_back_as_it_was_and_never_below_the_minimum(self):
        weston = HeadlessWeston(f"lumivant-test-{os.getpid()}")
        self.addCleanup(weston.close)
        homes = self.homes

        def launch(frame, wanted):
            os.makedirs(os.path.dirname(state_file(homes)), exist_ok=True)
            with open(state_file(homes), "w") as state:
                state.write(frame)
            shell = self.start_shell(homes, env=dict(weston.env(), WAYLAND_DEBUG="client"))
            shell.wait_for_line("^" + LOADED + HOME_PAGE + "$")

            def told(request):
                return [tuple(map(int, m.group(1).split(", "))) for m in (
                    re.search(r"xdg_(?:surface|toplevel)@\d+\." + request + r"\(([-\d, ]+)\)", line)
                    for line in shell.stderr_lines()) if m]
            # What the shell tells the compositor: the window's extent without
            # its shadow (title bar and menu bar within it), and the least it may be.
            wait_for(lambda: told("set_window_geometry") and wanted(told("set_window_geometry")[-1][2:]),
                     what=f"the window's extent (have {told('set_window_geometry')[-1:]})")
            extent = told("set_window_geometry")[-1][2:]
            self.assertEqual(told("set_min_size")[-1], (900, 600))
            weston.screenshot(os.path.join(shots_dir(homes), "weston.png"))
            self.assertEqual(shell.terminate(), 0)
            return extent, saved(homes)

        # Saved by an X11 session: a real position, which stays as it was.
        extent, frame = launch("[main]\nx=333\ny=222\nwidth=1000\nheight=700\nmaximized=false\n",
                               lambda extent: extent[0] == 1000)
        title_bar = extent[1] - 700
        self.assertTrue(20 <= title_bar <= 64, f"a title bar drawn by the window ({extent})")
        self.assertEqual((frame["x"], frame["y"]), ("333", "222"), "the X11 position untouched")
        self.assertEqual((frame["width"], frame["height"]), ("1000", "700"))

        # Left at the minimum, the window comes back at it, and is saved as it was.
        at_minimum = f"[main]\nwidth=900\nheight={600 - title_bar}\nmaximized=false\n"
        extent, frame = launch(at_minimum, lambda extent: extent == (900, 600))
        self.assertEqual((frame["width"], frame["height"]), ("900", str(600 - title_bar)))

        # A size below the minimum is raised to it.
        extent, frame = launch("[main]\nwidth=848\nheight=511\nmaximized=false\n",
                               lambda extent: extent == (900, 600))
        self.assertEqual((frame["width"], frame["height"]), ("900", str(600 - title_bar)))


if __name__ == "__main__":
    unittest.main()
