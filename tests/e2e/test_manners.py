"""A browser's manners, as a user of the local sample backend meets them
under a real window manager: every click on an outside link opens it once,
however quick the clicks; the page's context menu offers only what works in
one window; reloading a form's result asks before sending the form again; a
page that closes itself after a click returns to where the user came from;
full screen shows the page alone; misspelt words in text fields are found in
the desktop's language; and under xfwm4, the find keys work from the page as
well as from the find bar, and Escape gives the keyboard back to the page's
field where it was."""

import os
import subprocess
import unittest

from browser_support import (LOADED, geometry, install_url_recorder, keys, recorded_urls,
                             type_text, wait_for_dialog, wait_for_no_dialog, window_title,
                             xdotool)
from desktops import XScreen, net_wm_state
from harness import ShellTest, wait_for
from read_back import accessible, accessible_widgets, clipboard_text, press

# The widgets are read through the accessibility tree.
ACCESSIBLE = {"NO_AT_BRIDGE": "0"}
SHOTS = os.environ.get("LUMIVANT_SCREENSHOTS")
PAPER = "https://example.org/paper"
DATASET = "http://example.org/dataset"
MAIL = "mailto:lab@example.org"


class OnWindowManager(ShellTest):
    """The shell with its local sample backend on a screen of the test
    class's own, under window_manager."""

    window_manager = "openbox"

    @classmethod
    def setUpClass(cls):
        cls.screen = XScreen(cls.window_manager)

    @classmethod
    def tearDownClass(cls):
        cls.screen.close()

    def open(self, page, title, env=None):
        """The shell with its local sample backend, whose home sends page."""
        environment = dict(ACCESSIBLE, SAMPLE_HOME_REDIRECT=page, **(env or {}))
        shell = self.start_shell(env=environment)
        window = shell.window_id()
        shell.wait_for_line("^" + LOADED + title + "$")
        return shell, window

    def then(self, shell, window, *names, title):
        """Presses names and waits for the load of the page titled title."""
        start = len(shell.stderr_lines())
        keys(window, *names)
        return shell.wait_for_line("^" + LOADED + title + "$", start=start)

    def shot(self, shell, name, window=None):
        directory = SHOTS or self.homes.root
        os.makedirs(directory, exist_ok=True)
        return shell.screenshot(os.path.join(directory, name), window)

    def showing_menu_items(self, shell):
        return [w["name"] for w in accessible_widgets(shell)
                if w["role"] in ("menu item", "check menu item") and w["showing"]]


class MannersTest(OnWindowManager):
    def context_menu(self, shell, window, *open_keys, expect):
        """Opens the page's context menu and gives its items' names once expect is among them."""
        keys(window, *open_keys)
        return wait_for(lambda: (lambda names: names if expect in names else None)(
            self.showing_menu_items(shell)), 30, interval=0.3, what=f"a context menu with {expect}")

    def test_every_click_is_one_hand_over_and_a_scripts_burst_is_not(self):
        record = install_url_recorder(self.homes)
        shell, window = self.open("/outside-links.html?focus=paper", "外部链接")
        # Three outside links within a second.
        # Each hand-over starts a handler of its own, so they may record in any order.
        keys(window, "Return", "Tab", "Return", "Tab", "Return")
        wait_for(lambda: sorted(recorded_urls(record)) == sorted([PAPER, DATASET, MAIL]),
                 what="three quick clicks, three hand-overs")
        # One click on the button whose script clicks all three links, then
        # one more real click on the mail link: had the script's clicks been
        # handed over, they would stand between the two.
        keys(window, "Tab", "Tab", "Return", "shift+Tab", "shift+Tab", "Return")
        wait_for(lambda: sorted(recorded_urls(record)) == sorted([PAPER, DATASET, MAIL, PAPER, MAIL]),
                 what="one hand-over for the script's burst, one for the next click")
        self.assertEqual(shell.terminate(), 0)

    def test_the_context_menu_offers_what_works_in_one_window(self):
        record = install_url_recorder(self.homes)
        shell, window = self.open("/outside-links.html?focus=paper", "外部链接")
        names = self.context_menu(shell, window, "Menu", expect="打开链接")
        self.shot(shell, "context-menu-outside-link.png")
        self.assertNotIn("在新窗口中打开链接", names)
        self.assertFalse([n for n in names if "下载" in n], "no download of an outside file")
        press(shell, "打开链接", role="menu item")
        wait_for(lambda: recorded_urls(record) == [PAPER], what="the link at the system's handler")

        # The page's own menu, away from the link: the menu bar's words.
        keys(window, "Escape")
        x, y, width, height = geometry(window)
        xdotool("mousemove", "--sync", x + width // 2, y + height - 60)
        names = wait_for(lambda: (lambda found: found if "重新载入" in found else None)(
            (xdotool("click", "3"), self.showing_menu_items(shell))[1]), 30, interval=1.0,
            what="the page's context menu")
        self.shot(shell, "context-menu-page.png")
        self.assertNotIn("重新加载", names)
        self.assertNotIn("后退", names, "nowhere to go back to")
        start = len(shell.stderr_lines())
        press(shell, "重新载入", role="menu item")
        shell.wait_for_line("^" + LOADED + "外部链接$", start=start)
        self.assertEqual(shell.terminate(), 0)

    def test_reloading_a_forms_result_asks_before_sending_it_again(self):
        shell, window = self.open("/form.html?focus=send", "表单")
        self.then(shell, window, "Return", title="已提交 1 次")
        keys(window, "F5")
        dialog = wait_for_dialog(shell, window)
        accessible(shell, "the question", role="label", name="要重新提交表单吗？")
        accessible(shell, "its explanation", role="label", name="重新提交会把刚才的数据再发送一次。")
        accessible(shell, "the resubmit button", role="push button", name="重新提交")
        self.shot(shell, "resubmit-question.png")
        keys(dialog, "Return")  # 取消, the default
        wait_for_no_dialog(shell, window)
        keys(window, "F5")
        wait_for_dialog(shell, window)
        start = len(shell.stderr_lines())
        press(shell, "重新提交")
        # Had 取消 sent the form, this would be the third post.
        shell.wait_for_line("^" + LOADED + "已提交 2 次$", start=start)
        self.assertEqual(shell.terminate(), 0)

    def test_a_page_that_closes_after_a_click_returns_where_the_user_came_from(self):
        shell, window = self.open("/closing.html?focus=next", "关闭窗口")
        self.then(shell, window, "Return", title="关闭窗口 第2页")
        self.then(shell, window, "Return", title="关闭窗口")  # its focused 关闭此页
        # With no page before it, the first page; the close button has the
        # focus after the link.
        self.then(shell, window, "Tab", "Return", title="关闭窗口")
        self.assertEqual(shell.terminate(), 0)

    def test_full_screen_shows_the_page_alone_and_escape_leaves(self):
        shell, window = self.open("/fullscreen.html?focus=fullscreen", "全屏")
        menu_bar = lambda: [w for w in accessible_widgets(shell) if w["role"] == "menu bar"]
        self.assertTrue(menu_bar()[0]["showing"])
        for how in (["F11"], ["Return"]):  # the shell's key, then the page's request
            keys(window, *how)
            wait_for(lambda: "_NET_WM_STATE_FULLSCREEN" in net_wm_state(window), what=f"{how}")
            wait_for(lambda: not menu_bar()[0]["showing"], what="the menu bar gone")
            self.shot(shell, f"full-screen-{how[0]}.png")
            keys(window, "Escape")
            wait_for(lambda: "_NET_WM_STATE_FULLSCREEN" not in net_wm_state(window),
                     what="Escape to leave full screen")
            wait_for(lambda: menu_bar()[0]["showing"], what="the menu bar back")
        self.menu_item_toggles_full_screen(shell, window)
        self.assertEqual(shell.terminate(), 0)

    def menu_item_toggles_full_screen(self, shell, window):
        # The menu's item is what F11 activates; from the open menu too.
        accessible(shell, "视图 > 全屏", role="menu item", name="全屏", sensitive=True)
        keys(window, "F10", "Right", "Right", "Up", "Return")
        wait_for(lambda: "_NET_WM_STATE_FULLSCREEN" in net_wm_state(window), what="视图 > 全屏")
        keys(window, "F11")
        wait_for(lambda: "_NET_WM_STATE_FULLSCREEN" not in net_wm_state(window), what="F11 again")

    def test_misspelt_words_are_found_in_the_desktops_language(self):
        english = {"LANG": "en_US.UTF-8", "LANGUAGE": "en_US", "LC_ALL": None}
        shell, window = self.open("/spelling.html?focus=notes", "拼写检查", env=english)
        keys(window, "ctrl+End")
        type_text(window, " wrnog")
        keys(window, "Left")
        names = self.context_menu(shell, window, "Menu", expect="wrong")
        self.shot(shell, "spelling-suggestions.png")
        self.assertIn("wrong", names)
        keys(window, "Escape", "Tab")  # to the code field, which opts out
        keys(window, "ctrl+End")
        type_text(window, " wrnog")
        keys(window, "Left")
        names = self.context_menu(shell, window, "Menu", expect="Paste")
        self.assertNotIn("wrong", names, "a field with spellcheck=false is not checked")
        keys(window, "Escape")
        self.assertEqual(shell.terminate(), 0)


class FindBarTest(OnWindowManager):
    # Where the filer saw typing lost after Escape.
    window_manager = "xfwm4"

    def bar_closed(self, shell):
        wait_for(lambda: not accessible(shell, "the field", role="text")["showing"],
                 what="the find bar to close")

    def copied(self, window, wanted, what):
        """Copies the page's selection until the clipboard holds what wanted accepts."""
        return wait_for(lambda: (keys(window, "ctrl+c"), wanted(clipboard_text()))[1],
                        interval=0.3, what=what)

    def test_the_find_keys_work_from_anywhere_and_escape_gives_the_keyboard_back(self):
        shell, window = self.open("/finding.html?focus=note", "查找")
        # Escape gives the page's field its keyboard back, whether the match
        # was found after Escape (the field reports typing a moment later) or
        # before it (Return): typing goes on in the field.
        for find, typed in ((["Escape"], "abc"), (["Return", "Escape"], "def")):
            if typed == "def":
                keys(window, "Tab")  # the reloaded page's field
            keys(window, "ctrl+f")
            type_text(window, "alpha")
            keys(window, *find)
            self.bar_closed(shell)
            type_text(window, typed)
            self.then(shell, window, "Return", title="笔记=" + typed)

        # The matches are "Alpha", "ALPHA" and "alpha", as cased in the page;
        # typing finds the first. Two steps on and one back lead to the second;
        # any of the keys doing nothing would end elsewhere. Without a field of
        # the page's focused, the match stays selected after Escape.
        keys(window, "ctrl+f")
        type_text(window, "alpha")
        keys(window, "ctrl+g", "F3", "shift+ctrl+g", "Escape")
        self.bar_closed(shell)
        self.copied(window, lambda text: text == "ALPHA", "the second match selected")

        # From the page, the bar closed: F3 opens it at the next match.
        keys(window, "F3")
        accessible(shell, "the find bar open again", role="text", showing=True)
        keys(window, "Escape")
        self.bar_closed(shell)
        self.copied(window, lambda text: text == "alpha", "the third match selected")

        # The bar open and the page clicked: the page takes F3 from the menu,
        # which finds a match, without moving the focus into the bar.
        keys(window, "ctrl+f")
        x, y, width, height = geometry(window)
        xdotool("mousemove", "--sync", x + width // 2, y + height * 2 // 3)
        xdotool("click", "1")
        keys(window, "ctrl+a")
        self.copied(window, lambda text: "Alpha beta ALPHA" in text, "the whole page selected")
        keys(window, "F3")
        self.copied(window, lambda text: text.lower() == "alpha", "a match selected by F3")
        accessible(shell, "the find bar still open", role="text", showing=True)
        self.assertEqual(shell.terminate(), 0)


if __name__ == "__main__":
    unittest.main()
