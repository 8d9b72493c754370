"""The window on desktops without a compositor and on small or scaled screens:
the page is whole again as soon as a menu closes under openbox, and a
remembered frame bigger than the screen (a frame kept at a scale of 1 read
back at GDK_SCALE=2) is fitted into the work area and not saved over the one
the user chose."""

import os
import subprocess
import unittest

from browser_support import HOME_PAGE, LOADED, geometry, keys
from desktops import XScreen, outer_frame
from harness import Homes, ShellTest, wait_for
from window_state import shots_dir, state_file


def ink(png, area):
    """The share of dark pixels in area: text and lines on the page."""
    x, y, width, height = area
    return float(subprocess.run(
        ["convert", png, "-crop", f"{width}x{height}+{x}+{y}", "-colorspace", "gray",
         "-threshold", "50%", "-format", "%[fx:1-mean]", "info:"],
        capture_output=True, text=True, check=True).stdout)


def differing_pixels(first, second, area):
    """How many pixels of area (x, y, width, height) differ between two screenshots."""
    x, y, width, height = area
    crop = f"{width}x{height}+{x}+{y}"
    result = subprocess.run(["compare", "-metric", "AE", "(", first, "-crop", crop, ")",
                             "(", second, "-crop", crop, ")", "null:"],
                            capture_output=True, text=True)
    return int(float(result.stderr.split()[0]))


class WithoutCompositorTest(ShellTest):
    def test_page_is_whole_again_once_a_menu_closes_under_openbox(self):
        screen = XScreen("openbox")
        self.addCleanup(screen.close)
        # The engine's software path: under Xvfb its compositing path paints
        # with GL, which a screenshot of the X screen does not reliably catch.
        for env in ({},):
            with self.subTest(env=env):
                homes = Homes()
                self.addCleanup(homes.remove)
                shell = self.start_shell(homes, env=env)
                window = shell.window_id()
                shell.wait_for_line("^" + LOADED + HOME_PAGE + "$")
                page = geometry(window)
                x, y, width, height = page
                below_the_menu_bar = (x, y + 40, width, height - 40)
                shot = lambda name: shell.screenshot(os.path.join(shots_dir(homes), name))
                # The page has painted its text, and two screenshots in a row agree.
                shots = [shot("openbox-before.png")]

                def settled():
                    shots.append(shot(f"openbox-before-{len(shots) % 2}.png"))
                    return (ink(shots[-1], below_the_menu_bar) > 0.005
                            and differing_pixels(shots[-2], shots[-1], page) == 0)
                wait_for(settled, interval=0.3, what="the page painted")
                before = shots[-1]
                for menu, key_path in (("编辑", ("F10", "Right")), ("视图", ("F10", "Right", "Right"))):
                    keys(window, *key_path)
                    wait_for(lambda: differing_pixels(before, shot("openbox-menu.png"), page) > 0,
                             what=f"the {menu} menu over the page")
                    keys(window, "Escape", "Escape")
                    wait_for(lambda: differing_pixels(before, shot("openbox-after.png"), page) == 0,
                             timeout=5, what=f"the page whole again where the {menu} menu was")
                self.assertEqual(shell.terminate(), 0)


class ScaledScreenTest(ShellTest):
    def test_remembered_frame_is_fitted_at_scale_two_and_not_saved_back(self):
        screen = XScreen("openbox")
        self.addCleanup(screen.close)
        homes = self.homes
        os.makedirs(os.path.dirname(state_file(homes)))
        chosen = "[main]\nx=300\ny=200\nwidth=1000\nheight=700\nmaximized=false\n"
        with open(state_file(homes), "w") as state:
            state.write(chosen)

        # At a scale of 2 the 1920x1080 screen is 960x540 in the window's units.
        shell = self.start_shell(homes, env={"GDK_SCALE": "2"})
        window = shell.window_id()
        shell.wait_for_line("^" + LOADED + HOME_PAGE + "$")
        # Openbox's one-pixel borders and its five-pixel bottom edge are half
        # units at this scale: the frame still ends within the screen.
        frames = []

        def on_screen():
            frames.append(outer_frame(window))
            x, y, width, height = frames[-1]
            return x >= 0 and y >= 0 and x + width <= 1920 and y + height <= 1080
        try:
            wait_for(on_screen, what="the frame within the screen")
        except AssertionError:
            self.fail(f"the frame {frames[-1]} is not within the 1920x1080 screen")
        shell.screenshot(os.path.join(shots_dir(homes), "scale-two.png"))
        self.assertEqual(shell.terminate(), 0)
        with open(state_file(homes)) as state:
            self.assertEqual(state.read(), chosen, "the fitted frame is not the user's choice")

        # At the scale it was chosen at, the frame comes back as it was.
        shell = self.start_shell(homes)
        window = shell.window_id()
        shell.wait_for_line("^" + LOADED + HOME_PAGE + "$")
        wait_for(lambda: geometry(window)[2:] == (1000, 700),
                 what=f"the chosen size (have {geometry(window)})")
        self.assertEqual(shell.terminate(), 0)


if __name__ == "__main__":
    unittest.main()
