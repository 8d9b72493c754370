"""State files that cannot hang, bloat or forget, as a user meets them with
the sample backend: the window's state a FIFO, the page zoom a sparse file of
a gibibyte, the shared store's owner one of two, and the ports of the data
roots holding another data root's port beside an entry nested far too deep.
The window and the first page come as usual, within the usual memory; the
other data root keeps its port; each damaged file the shell writes is set
aside, not overwritten, and the owner's record is left alone."""

import json
import os
import stat
import unittest

from browser_support import HOME_PAGE, LOADED, keys
from harness import ShellTest, wait_for
from test_kept_origin import backend_port
from test_untrusted_inputs import MEMORY_LIMIT, memory_of

GIB = 1 << 30
OTHER_ROOT = "/home/someone/other-research"


def sparse_file(path, size):
    with open(path, "wb") as f:
        f.truncate(size)


class DamagedStateTest(ShellTest):
    def setUp(self):
        self.state = os.path.join(self.homes.xdg["XDG_STATE_HOME"], "Lumivant")
        self.store = os.path.join(self.homes.xdg["XDG_DATA_HOME"], "Lumivant")
        os.makedirs(self.state)
        os.makedirs(self.store)

    def path(self, name):
        return os.path.join(self.state, name)

    def test_a_fifo_a_huge_and_a_deep_state_file_neither_hold_the_window_nor_lose_entries(self):
        os.mkfifo(self.path("window-state.ini"))
        sparse_file(self.path("page-zoom.json"), GIB)
        sparse_file(os.path.join(self.store, "shared-store-owner"), 2 * GIB)
        deep = "[" * 100 + "]" * 100
        ports = f'{{"{OTHER_ROOT}": 41234, "/home/someone/deep": {{"x": {deep}}}}}\n'
        with open(self.path("backend-ports.json"), "w") as f:
            f.write(ports)

        shell = self.start_shell()
        window = shell.window_id()
        shell.wait_for_line("^" + LOADED + HOME_PAGE + "$")
        peak = memory_of(shell.process.pid, "VmHWM")
        self.assertLess(peak, MEMORY_LIMIT, f"peak {peak >> 20} MiB")

        # The other data root keeps its port; this one's is added beside it,
        # and the file as it was is set aside.
        port = backend_port(self.homes)
        with open(self.path("backend-ports.json")) as f:
            kept = json.load(f)
        self.assertEqual(kept.pop(OTHER_ROOT), 41234)
        self.assertEqual(list(kept.values()), [port])
        with open(self.path("backend-ports.json.damaged")) as f:
            self.assertEqual(f.read(), ports)

        # Zooming writes the zoom anew; the gibibyte is set aside, not read.
        keys(window, "ctrl+plus")
        wait_for(lambda: os.path.getsize(self.path("page-zoom.json")) < 4096,
                 what="the zoom written anew")
        self.assertEqual(os.path.getsize(self.path("page-zoom.json.damaged")), GIB)
        with open(self.path("page-zoom.json")) as f:
            self.assertEqual(list(json.load(f).values()), [1.1])

        self.assertEqual(shell.terminate(), 0)
        # The frame is saved in place of the FIFO, which is set aside.
        self.assertTrue(stat.S_ISFIFO(os.lstat(self.path("window-state.ini.damaged")).st_mode))
        with open(self.path("window-state.ini")) as f:
            self.assertIn("[main]", f.read())
        # The owner's record names no data root, so this one has a store of its
        # own; the record itself is never replaced.
        self.assertEqual(os.path.getsize(os.path.join(self.store, "shared-store-owner")), 2 * GIB)
        self.assertTrue(os.listdir(os.path.join(self.store, "data-roots")))


if __name__ == "__main__":
    unittest.main()
