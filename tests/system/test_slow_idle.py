"""The default idle exit, in real time: a provider with no timers and no
connections ends about 90 seconds after its last connection. Labelled slow:
it runs in the plain build only."""
import time
import unittest

from harness import body_of, check_isolated, get, start_provider


class DefaultIdle(unittest.TestCase):
    def test_ninety_seconds_after_last_connection(self):
        with start_provider("test_provider", ["-c", "-u", "-V", "0x2FF"], port=5000) as p:
            self.assertEqual(body_of(get(5000, "/a")), b"/a")
            last = time.monotonic()
            self.assertEqual(p.wait_exit(150), 0)
            waited = time.monotonic() - last
            self.assertGreater(waited, 85)
            self.assertLess(waited, 120)
            self.assertIn("Exit if idle...", p.stderr())
            self.assertIn("Idle exit initiated", p.stderr())


if __name__ == "__main__":
    check_isolated()
    unittest.main()
