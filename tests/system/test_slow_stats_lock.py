"""A NAME.pagestats file held locked by someone else: the request is still
answered, its timing is dropped after the 20-second wait, and the next
request once the lock is free records again."""
import fcntl
import time
import unittest

import harness
from harness import PORT, get, status_of
from test_stats import Folder


class HeldLock(unittest.TestCase):
    def test_request_answered_and_not_recorded(self):
        f = Folder()
        try:
            p = f.start("-g")
            get(PORT, "/demo/hello")
            with open(f.path(".pagestats"), "rb") as held:
                fcntl.flock(held, fcntl.LOCK_EX)
                started = time.monotonic()
                # The session closes the connection once the recording gave up.
                response = get(PORT, "/demo/hello", timeout=40)
                self.assertGreater(time.monotonic() - started, 19)
                self.assertEqual(status_of(response), b"HTTP/1.1 200 OK")
                self.assertEqual(f.counts("/demo/hello")[0], 1)
            get(PORT, "/demo/hello")
            self.assertEqual(f.counts("/demo/hello")[0], 2)
            p.stop()
        finally:
            f.cleanup()


if __name__ == "__main__":
    harness.main()
