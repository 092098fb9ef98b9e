"""The collector's stop in real time: a provider that never answers its
shutdown request is killed by the final timer (scripts/run's Ctrl-C:
test_velmoractl)."""
import os
import signal
import time
import unittest

import harness
from test_shutdown import gone, start_samples


class FinalTimer(unittest.TestCase):
    def setUp(self):
        start_samples(self)

    def test_stopped_provider_is_killed(self):
        c, ticker = self.c, self.pids["ticker_provider"]
        os.kill(ticker, signal.SIGSTOP)
        start = time.monotonic()
        c.signal(signal.SIGTERM)
        c.wait_log("Final shutdown timer expired; terminating unresponsive providers", 20)
        self.assertTrue(14 < time.monotonic() - start < 18)
        c.wait_exit(5)
        log = c.stderr()
        c.stop(expect=0)
        self.assertIn("Final shutdown timer expired; shutting down now.", log)
        self.assertNotIn("All providers have exited", log)
        self.assertTrue(gone(ticker))
        self.assertTrue(all(gone(pid) for pid in self.pids.values()))


if __name__ == "__main__":
    harness.main()
