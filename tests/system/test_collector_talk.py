"""What a provider tells the collector on port 21584: its late
initialization (with -f) and its heartbeat registration, against
tests/fake_collector."""
import time
import unittest

from harness import FakeCollector, Proc, body_of, check_isolated, get, start_provider

ALL = "0xFFFFFFFF"
PORT = 5000


class LateInitialization(unittest.TestCase):
    def test_first_run_reports_after_collector_index_request(self):
        with FakeCollector() as fc, start_provider("test_provider", ["-c", "-f", "-u", "-V", ALL], port=PORT) as p:
            # Idle timeout 1 s: still no idle exit before the collector's
            # first index request, and nothing reported yet.
            get(PORT, "/idle?seconds=1")
            get(PORT, "/index")
            time.sleep(2.5)
            self.assertTrue(p.running())
            self.assertEqual(fc.requests(), [])
            self.assertIn(b"<table ", body_of(get(PORT, "/index?collectorrequest=1")))
            reqs = fc.wait_requests(1)
            self.assertEqual(reqs[0]["raw"], "POST /inventory?file=test_provider&provstatus=1\nContent-Length: 0\n\n")
            # Late initialization is done: the idle timeout now applies.
            self.assertEqual(p.wait_exit(10), 0)
            self.assertEqual(len(fc.requests()), 1)

    def test_failing_deferred_page(self):
        env = {"TEST_PROVIDER_FAIL_LATE": "1"}
        with FakeCollector() as fc, start_provider("test_provider", ["-c", "-f", "-u", "-z"], env=env, port=PORT):
            get(PORT, "/index?collectorrequest=1")
            self.assertEqual(fc.wait_requests(1)[0]["query"], "file=test_provider&provstatus=0")

    def test_failure_without_first_run_skips_connections(self):
        p = Proc("test_provider", ["-p", str(PORT), "-c", "-u", "-z", "-V", ALL], env={"TEST_PROVIDER_FAIL_LATE": "1"})
        try:
            self.assertEqual(p.wait_exit(10), 0)
            self.assertIn("A failure occurred in LateProviderInitialization; skipping Process Connections\n", p.stderr())
        finally:
            p.stop()


class Heartbeat(unittest.TestCase):
    def test_registration_follows_visible_timers(self):
        with FakeCollector() as fc, start_provider("test_provider", ["-c", "-u", "-z"], port=PORT):
            get(PORT, "/timers?add=t1&interval=100")
            reqs = fc.wait_requests(1)
            self.assertEqual(reqs[0]["verb"], "POST")
            self.assertEqual(reqs[0]["path"] + "?" + reqs[0]["query"], "/heartbeat/monitor?port=%d" % PORT)
            get(PORT, "/timers?add=t2&interval=50")       # a second timer: nothing new
            get(PORT, "/hiddentimers?add=h&interval=10")  # hidden pages never count
            get(PORT, "/timers?remove=t1")
            time.sleep(0.5)
            self.assertEqual(len(fc.requests()), 1)
            get(PORT, "/timers?remove=t2")
            reqs = fc.wait_requests(2)
            self.assertEqual(reqs[1]["query"], "port=%d&cancel=1" % PORT)
            time.sleep(0.5)
            self.assertEqual(len(fc.requests()), 2)

    def test_collector_absent(self):
        with start_provider("test_provider", ["-c", "-u", "-z"], port=PORT) as p:
            self.assertEqual(body_of(get(PORT, "/timers?add=t1&interval=100")), b"1")
            self.assertEqual(body_of(get(PORT, "/timers?remove=t1")), b"0")
            self.assertTrue(p.running())


if __name__ == "__main__":
    check_isolated()
    unittest.main()
