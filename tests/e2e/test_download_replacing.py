"""A download saved over a file of the user's, with the local sample backend,
takes that file's place only once it is whole: until then the file keeps its
bytes, then it holds exactly the downloaded ones, with its permissions. A
shell killed in the middle leaves the file too, and the next download into
the folder clears what the killed one wrote. A folder the user cannot write
in is said so in the failure alert."""

import os
import unittest

from browser_support import STATIC_ROOT, keys, shell_windows
from download_support import PARTIAL_PREFIX, SCREENSHOTS, DownloadTestCase
from harness import wait_for
from read_back import accessible_widgets

SIX_MB = 6 * 1024 * 1024
# As root, permissions only bind once the override capabilities are gone.
NO_OVERRIDE = ["setpriv", "--bounding-set=-dac_override,-dac_read_search", "--"]


def contents(path):
    with open(path, "rb") as file:
        return file.read()


class DownloadReplacingTest(DownloadTestCase):
    def test_a_download_replaces_the_chosen_file_only_once_it_is_whole(self):
        archive = self.users_file("data.zip", mode=0o600)
        shell, window = self.start_on("zip")
        self.download(shell, window, archive)
        expected = contents(os.path.join(STATIC_ROOT, "files", "data.zip"))
        wait_for(lambda: contents(archive) == expected, what="the archive in the file's place")
        self.assertEqual(os.stat(archive).st_mode & 0o7777, 0o600)

        thesis = self.users_file("thesis.bin")
        keys(window, "Tab")  # the next link: 6 MB that take 4 seconds
        self.download(shell, window, thesis)
        self.growing()
        self.assert_users_file_as_it_was(thesis)
        wait_for(lambda: os.path.getsize(thesis) == SIX_MB, what="the whole download")
        self.assertEqual(contents(thesis), bytes(SIX_MB))
        self.assertEqual(os.stat(thesis).st_mode & 0o7777, 0o640)
        wait_for(lambda: self.left_behind() == ["data.zip", "thesis.bin"],
                 what="nothing but the two files")
        self.assertEqual(shell_windows(shell), [window], "a finished download announces nothing")

    def test_a_killed_shell_leaves_the_file_and_the_next_download_clears_up(self):
        thesis = self.users_file("thesis.bin")
        shell, window = self.start_on("long")
        self.download(shell, window, thesis)
        self.growing()
        shell.kill()
        self.assert_users_file_as_it_was(thesis)
        left = self.left_behind()
        self.assertEqual(len(left), 2, left)
        self.assertTrue(left[0].startswith(PARTIAL_PREFIX), "hidden, and named as the shell's")

        shell, window = self.start_on("report")
        report = self.download(shell, window, os.path.join(self.saved, "report.csv"))
        wait_for(lambda: os.path.exists(report), what="the report")
        self.assertEqual(self.left_behind(), ["report.csv", "thesis.bin"])
        self.assert_users_file_as_it_was(thesis)

    def test_a_folder_the_user_cannot_write_in_is_said_so(self):
        locked = os.path.join(self.saved, "locked")
        os.makedirs(locked)
        thesis = self.users_file(os.path.join("locked", "thesis.bin"))
        os.chmod(locked, 0o555)
        self.addCleanup(os.chmod, locked, 0o755)
        shell, window = self.start_on("report", env={"NO_AT_BRIDGE": "0"}, prefix=NO_OVERRIDE)
        self.download(shell, window, thesis)

        def reason():
            for widget in accessible_widgets(shell):
                for text in (widget.get("name"), widget.get("text")):
                    if text and "没有权限" in text and widget.get("showing"):
                        return text
            return None
        self.assertEqual(wait_for(reason, interval=0.3, what="the alert's reason"),
                         f"无法在文件夹“{locked}”中保存文件：没有权限。请选择另一个文件夹。")
        self.failure_alert(shell, window, "download-unwritable-folder-alert.png")
        self.assertEqual(self.left_behind(locked), ["thesis.bin"])
        self.assert_users_file_as_it_was(thesis)


if __name__ == "__main__":
    unittest.main()
