"""A batch_provider job that ignores its exit request holds the shutdown
for its exit wait (10 s), is then given up, and the process still exits
cleanly; a cooperative job beside it ends at once."""
import signal
import time
import unittest

import harness
from harness import ALL, PORT, body_of, get, post, start_provider, wait_until


class StubbornWorker(unittest.TestCase):
    def test_stubborn_job_is_given_up_after_its_exit_wait(self):
        p = start_provider(harness.own_copy(self, "batch_provider"), ["-c", "-z", "-u", "-V", ALL])
        try:
            self.assertIn(b"async-id=", body_of(post(PORT, "/batch?job=stuck&steps=1000&stepms=100&stubborn=1")))
            self.assertIn(b"async-id=", body_of(post(PORT, "/batch?job=polite&steps=1000&stepms=100")))
            wait_until(lambda: body_of(get(PORT, "/batch?workerstatus=1")).count(b"<helper") == 2, 10,
                       what="two workers")
            started = time.monotonic()
            p.signal(signal.SIGTERM)
            p.wait_log("did not respond to exit request", timeout=20)
            self.assertEqual(p.wait_exit(20), 0)
            elapsed = time.monotonic() - started
            self.assertGreater(elapsed, 9)
            self.assertLess(elapsed, 14)
            err = p.stderr()
            self.assertEqual(err.count("Worker thread (stuck) did not respond to exit request; terminating it\n"), 1)
            self.assertNotIn("Worker thread (polite)", err)
            # The stubborn worker's reports after the request were refused.
            self.assertIn("WorkerControlObject(/batch)::postToParent cancelled due to pending exit request", err)
            self.assertLess(err.index("MonitorPage::OnPreShutdown requesting worker functions to finish"),
                            err.index("did not respond to exit request"))
            self.assertIn("MonitorPage::OnShutdown Waiting for worker function to finish now completed", err)
        finally:
            p.stop()


if __name__ == "__main__":
    harness.main()
