"""Configuration files shared between processes: two writers that each add
keys under OpenWrite/Save lose no update, and a held file makes another
process's OpenWrite wait for it. Uses no sockets, so it does not insist on a
network namespace of its own."""
import os
import re
import shutil
import subprocess
import tempfile
import time
import unittest

import harness
from harness import Proc, run


class ConfigFilesTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="velmora-config-")
        self.path = os.path.join(self.dir, "shared.xml")

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def test_two_writers_lose_no_update(self):
        count = 200
        with Proc("config_writer", ["add", self.path, "a", str(count)]) as a, \
                Proc("config_writer", ["add", self.path, "b", str(count)]) as b:
            self.assertEqual(a.wait_exit(120), 0, a.stderr())
            self.assertEqual(b.wait_exit(120), 0, b.stderr())
        with open(self.path, "rb") as f:
            text = f.read().decode()
        names = re.findall(r'<key name="([ab]\d+)" value="(\d+)"/>', text)
        self.assertEqual(len(names), 2 * count)
        self.assertEqual({n for n, _ in names},
                         {"%s%d" % (p, i) for p in "ab" for i in range(count)})
        for name, value in names:
            self.assertEqual(name[1:], value)
        # Every save went through a temporary file that was renamed away.
        self.assertEqual(os.listdir(self.dir), ["shared.xml"])

    def test_open_write_waits_for_another_process(self):
        with Proc("config_writer", ["hold", self.path], stdin=subprocess.PIPE) as holder:
            deadline = time.monotonic() + 10
            while "held" not in holder.stdout():
                self.assertLess(time.monotonic(), deadline, "holder never held the file")
                self.assertTrue(holder.running(), holder.stderr())
                time.sleep(0.01)
            start = time.monotonic()
            code, out, _ = run("config_writer", ["open", self.path, "1"])
            waited = time.monotonic() - start
            self.assertEqual((code, out), (1, "failed\n"))
            self.assertGreaterEqual(waited, 0.9)
            self.assertLess(waited, 2.5)

            # A longer wait succeeds once the holder saves and lets go.
            with Proc("config_writer", ["open", self.path, "10"]) as waiter:
                time.sleep(0.2)  # let the waiter start polling before the release
                holder.popen.stdin.close()
                self.assertEqual(holder.wait_exit(10), 0)
                self.assertIn("saved", holder.stdout())
                self.assertEqual(waiter.wait_exit(15), 0)
                self.assertEqual(waiter.stdout(), "opened\n")
        with open(self.path, "rb") as f:
            self.assertEqual(f.read(), b'<key name="holder" value="done"/>')


if __name__ == "__main__":
    harness.main(isolated=False)
