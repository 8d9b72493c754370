"""The engine's developer tools as the app's author meets them, with the local
sample backend: launched with --developer-tools, 视图 > 开发者工具 and its
key Ctrl+Shift+I open the inspector in a window of its own, and the page's
context menu offers 检查元素; launched without, neither the item nor the key
nor F12 opens anything."""

import os
import unittest

from browser_support import HOME_PAGE, LOADED, keys, shell_windows, wait_for_dialog, xdotool
from desktops import XScreen
from harness import ShellTest, wait_for
from read_back import accessible, accessible_widgets

ACCESSIBLE = {"NO_AT_BRIDGE": "0"}
# Runs the shell, whose path comes as $0, with the author's option.
WITH_OPTION = ("sh", "-c", 'exec "$0" --developer-tools')


class DeveloperToolsTest(ShellTest):
    # A window manager, as on a desktop: the inspector and the question are
    # windows it manages beside the main one.
    @classmethod
    def setUpClass(cls):
        cls.screen = XScreen("xfwm4")

    @classmethod
    def tearDownClass(cls):
        cls.screen.close()

    def start(self, prefix=()):
        shell = self.start_shell(env=ACCESSIBLE, prefix=prefix)
        window = shell.window_id()
        shell.wait_for_line("^" + LOADED + HOME_PAGE + "$")
        return shell, window

    def context_menu(self, shell, window):
        """Opens the page's context menu and gives its items' names."""
        xdotool("mousemove", "--window", window, 640, 420)
        xdotool("click", "3")
        names = wait_for(lambda: self.popup_items(shell), what="the context menu's items")
        keys(window, "Escape")
        return names

    def popup_items(self, shell):
        bar = {"退出 Lumivant", "撤销", "重做", "剪切", "复制", "粘贴", "全选", "后退", "前进",
               "重新载入", "放大", "缩小", "实际大小", "在页面中查找…", "打印…", "开发者工具"}
        return [w["name"] for w in accessible_widgets(shell)
                if w["role"] == "menu item" and w["showing"] and w["name"] not in bar]

    def test_the_option_brings_the_menu_item_its_keys_and_the_context_menus_item(self):
        shell, window = self.start(WITH_OPTION)
        accessible(shell, "the menu item 开发者工具", role="menu item", name="开发者工具")
        self.assertIn("检查元素", self.context_menu(shell, window))
        keys(window, "ctrl+shift+i")
        inspector = wait_for_dialog(shell, window)
        where = os.environ.get("LUMIVANT_SCREENSHOTS")
        if where:
            shell.screenshot(os.path.join(where, "developer-tools.png"))
        self.assertEqual(len(shell_windows(shell)), 2, "the inspector, beside the main window")
        self.assertNotEqual(inspector, window)
        self.assertEqual(shell.terminate(), 0)

    def test_without_the_option_nothing_opens_them(self):
        shell, window = self.start()
        self.assertNotIn("检查元素", self.context_menu(shell, window))
        keys(window, "ctrl+shift+i", "F12", "ctrl+f")
        # The find bar shows once the keys before it have been handled.
        accessible(shell, "the search field", role="text", showing=True)
        self.assertEqual(shell_windows(shell), [window])
        names = [w["name"] for w in accessible_widgets(shell) if w["role"] == "menu item"]
        self.assertIn("打印…", names)
        self.assertNotIn("开发者工具", names)
        self.assertEqual(shell.terminate(), 0)


if __name__ == "__main__":
    unittest.main()
