"""NAME.pagestats held locked by someone else: the request is answered, its
timing dropped after the 20-second wait, and the next one records again."""
import fcntl
import time
import unittest

import harness
from harness import PORT, get, status_of
from test_stats import Folder


class HeldLock(unittest.TestCase):
    def test_request_answered_and_not_recorded(self):
        f = Folder(self)
        p = f.start("-g")
        get(PORT, "/demo/hello")
        with open(f.path(".pagestats"), "rb") as held:
            fcntl.flock(held, fcntl.LOCK_EX)
            started = time.monotonic()
            response = get(PORT, "/demo/hello", timeout=40)  # closed once the recording gave up
            self.assertGreater(time.monotonic() - started, 19)
            self.assertEqual((status_of(response), f.table()["/demo/hello"]), (b"HTTP/1.1 200 OK", 1))
        get(PORT, "/demo/hello")
        self.assertEqual(f.table()["/demo/hello"], 2)
        p.stop()


if __name__ == "__main__":
    harness.main()
