"""The shell answers questions about itself on the command line the way a
command-line tool does: on standard output, without a display, without
touching the user's data, and with status 2 for an option it does not know."""

import os
import subprocess
import unittest

from harness import EXECUTABLE, ShellTest


class CommandLineTest(ShellTest):
    def run_shell(self, *arguments):
        """Runs the shell with arguments as a user at a terminal without a
        desktop session would, and returns the finished process."""
        env = self.homes.environment({"DISPLAY": None, "WAYLAND_DISPLAY": None})
        return subprocess.run([EXECUTABLE, *arguments], env=env, stdin=subprocess.DEVNULL,
                              capture_output=True, text=True, timeout=60)

    def assert_nothing_written(self):
        self.assertFalse(os.path.exists(self.homes.data_root),
                         "a question about the shell leaves the data root alone")

    def test_version_and_help_answer_on_standard_output_without_a_display(self):
        version = self.run_shell("--version")
        self.assertEqual((version.returncode, version.stderr), (0, ""))
        self.assertRegex(version.stdout, r"^Lumivant \d+\.\d+\.\d+\n$")

        for option in ("--help", "-h"):
            with self.subTest(option=option):
                answer = self.run_shell(option)
                self.assertEqual((answer.returncode, answer.stderr), (0, ""))
                self.assertTrue(answer.stdout.startswith("用法：lumivant [选项]\n"), answer.stdout)
                self.assertIn("-h, --help", answer.stdout)
                self.assertIn("--version", answer.stdout)
                self.assertNotIn("--print-version", answer.stdout,
                                 "options other programs pass are not offered to people")
        self.assert_nothing_written()

    def test_an_unknown_option_is_named_and_exits_2(self):
        answer = self.run_shell("--fulscreen")
        self.assertEqual(answer.returncode, 2)
        self.assertEqual(answer.stdout, "")
        self.assertIn("“--fulscreen”", answer.stderr)
        self.assertIn("lumivant --help", answer.stderr)
        self.assert_nothing_written()


if __name__ == "__main__":
    unittest.main()
