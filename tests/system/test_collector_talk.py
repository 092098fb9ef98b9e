"""What a provider tells the collector on port 21584: its late
initialization (with -f) and its heartbeat registration, against the
harness's fake collector."""
import unittest

import harness
from harness import ALL, PORT, FakeCollector, Proc, body_of, get, start_provider


class LateInitialization(unittest.TestCase):
    def test_first_run_reports_after_collector_index_request(self):
        with FakeCollector() as fc, start_provider("test_provider", ["-c", "-f", "-u", "-V", ALL]) as p:
            # Idle timeout 1 s, but before the collector's first index request
            # the loop waits without a time-out: no idle exit.
            get(PORT, "/idle?seconds=1")
            get(PORT, "/index")
            p.wait_log("Late initialization not done; Timeout changed to 10000 seconds\n")
            self.assertNotIn("Exit if idle", p.stderr())
            # The heartbeat registration follows the visible timers. Its first
            # request is also a sentinel: no report may come before it.
            get(PORT, "/timers?add=t1&interval=100")
            r = fc.wait_requests(1)[0]
            self.assertEqual(r["verb"] + " " + r["path"] + "?" + r["query"], "POST /heartbeat/monitor?port=%d" % PORT)
            get(PORT, "/timers?add=t2&interval=50")       # a second timer: nothing new
            get(PORT, "/hiddentimers?add=h&interval=10")  # hidden pages never count
            get(PORT, "/timers?remove=t1")
            get(PORT, "/timers?remove=t2")                # the last one: cancel
            fc.wait_requests(2)
            get(PORT, "/hiddentimers?remove=h")           # nothing
            get(PORT, "/timers?add=t3&interval=100")      # sentinel: registers again
            get(PORT, "/timers?remove=t3")
            self.assertEqual([r["query"] for r in fc.wait_requests(4)],
                             ["port=%d" % PORT, "port=%d&cancel=1" % PORT] * 2)
            self.assertIn(b"<table ", body_of(get(PORT, "/index?collectorrequest=1")))
            reqs = fc.wait_requests(5)
            self.assertEqual(reqs[4]["raw"], "POST /inventory?file=test_provider&provstatus=1\nContent-Length: 0\n\n")
            # Late initialization is done: the idle timeout now applies.
            self.assertEqual(p.wait_exit(10), 0)
            self.assertEqual(len(fc.requests()), 5)

    def test_failing_deferred_page_with_and_without_first_run(self):
        env = {"TEST_PROVIDER_FAIL_LATE": "1"}
        with FakeCollector() as fc, start_provider("test_provider", ["-c", "-f", "-u", "-z"], env=env):
            get(PORT, "/index?collectorrequest=1")
            self.assertEqual(fc.wait_requests(1)[0]["query"], "file=test_provider&provstatus=0")
        # Without -f the failure ends the provider before it serves.
        with Proc("test_provider", ["-p", str(PORT), "-c", "-u", "-z", "-V", ALL], env=env) as p:
            self.assertEqual(p.wait_exit(10), 0)
            self.assertIn("A failure occurred in LateProviderInitialization; skipping Process Connections\n", p.stderr())


if __name__ == "__main__":
    harness.main()
