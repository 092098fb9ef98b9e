"""A real collector with the sample providers: the load shown at "/inventory"
and "/index", routing through port 21584, the answers it gives for
providers that load, fail, answer 503 or vanish, and large transfers."""
import hashlib
import os
import signal
import socket
import tempfile
import threading
import time
import unittest

import harness
from harness import COLLECTOR_PORT, Proc, exchange, status_field, status_of, wait_until
from collector_home import CollectorHome, cmdline, curl, kill_all, processes, request, sanitized

DEMO, TICKER, TEST = 21601, 21602, 21610


def stalled(pid):
    """Waits until the process's reads (rchar) stop growing for 0.3 s."""
    seen = []

    def unchanged():
        with open("/proc/%d/io" % pid) as f:
            seen.append(next(int(l.split()[1]) for l in f if l.startswith("rchar:")))
        return len(seen) > 1 and seen[-1] == seen[-2]
    wait_until(unchanged, 20, 0.3, what="stalled transfer")


class Routing(unittest.TestCase):
    def setUp(self):
        self.home = CollectorHome([("demo_provider", "demo_provider", DEMO),
                                   ("ticker_provider", "ticker_provider", TICKER),
                                   ("conflict_provider", "demo_provider", DEMO)], test=self)

    def test_load_and_routes(self):
        c = self.home.start(ready=["demo_provider", "ticker_provider"])
        self.home.pid("ticker_provider")
        self.assertEqual(tuple(self.home.record("demo_provider")[k] for k in ("response", "state")), ("200", "ready"))
        conflict = self.home.record("conflict_provider")
        self.assertEqual((conflict["response"], conflict["state"], conflict["origin"]),
                         ("port conflict", "loading", "test.velmora.provider.xml"))
        self.assertNotIn("InventoryLoad for conflict_provider", c.stderr())
        self.assertEqual(processes("conflict_provider"), [])
        index = request("GET", "/index")[1].decode()
        self.assertRegex(index, r'/demo/hello</a>\s*</td>\s*<td>ready</td>\s*<td>demo_provider</td>')

        # Routed answers equal direct ones; sub-paths go to the page's owner.
        self.assertEqual(request("GET", "/demo/hello"), request("GET", "/demo/hello", port=DEMO))
        self.assertEqual(request("GET", "/demo/echo/x?a=b"), (200, b"/demo/echo/x?a=b"))
        self.assertEqual(status_of(harness.get(COLLECTOR_PORT, "/demo/echox")), b"HTTP/1.1 404 Not Found")
        self.assertEqual(request("GET", "/" + "d" * 300)[0], 404)
        body = os.urandom(200000)
        self.assertEqual(request("POST", "/demo/echo", body), (200, body))
        self.assertEqual(status_of(exchange(COLLECTOR_PORT, b"DELETE /demo/hello\n\n")),
                         b"HTTP/1.1 405 Method Not Allowed")
        self.assertIn("Invalid request type DELETE", c.stderr())

        # A page answering 503 is asked twice; the client reads one answer.
        raw = harness.get(COLLECTOR_PORT, "/demo/code?s=503")
        self.assertEqual((raw.count(b"HTTP/1.1"), status_of(raw)), (1, b"HTTP/1.1 503 Service Unavailable"))
        self.assertEqual(request("GET", "/demo/hits"), (200, b"2"))
        self.assertEqual(request("GET", "/demo/code?s=404")[0], 404)
        self.assertEqual(request("GET", "/demo/hits"), (200, b"3"))

        # A second collector, uniqueness off, meets the first one's event.
        second = Proc(self.home.exe, ["-p", "21585", "-c", "-u"], env=self.home.env)
        self.assertEqual(second.wait_exit(), 0)
        self.assertIn("InventoryPage::Initialize opened unique event; another collector is already running!",
                      second.stderr())
        second.stop(expect=0)

    def test_killed_providers_and_large_answers(self):
        c = self.home.start(ready=["demo_provider"])
        self.assertEqual(request("GET", "/demo/hello")[0], 200)
        old = processes("demo_provider")
        self.assertEqual((len(old), "-f" in cmdline(old[0])), (1, True))
        kill_all("demo_provider")  # reaped, so no zombie is left
        self.assertEqual(request("GET", "/demo/hello")[0], 200)
        new = processes("demo_provider")
        self.assertEqual((len(new), new != old, "-f" in cmdline(new[0])), (1, True, False))

        # 50 MB through the collector: the same bytes, little memory.
        direct = hashlib.sha256(curl("http://127.0.0.1:%d/demo/big?mb=50" % DEMO)[1]).hexdigest()
        before = status_field(c.pid, "VmHWM")
        code, routed = curl("http://127.0.0.1:%d/demo/big?mb=50" % COLLECTOR_PORT)
        self.assertEqual((code, hashlib.sha256(routed).hexdigest()), (0, direct))
        with socket.create_connection(("127.0.0.1", COLLECTOR_PORT)) as s:
            s.sendall(b"GET /demo/big?mb=50\n\n")
            stalled(c.pid)  # the client pauses: the collector must not buffer
            got = len(harness.read_until_close(s))
        self.assertGreater(got, 50 << 20)
        if not sanitized(c.pid):
            self.assertLess(status_field(c.pid, "VmHWM") - before, 16 * 1024)

        # The provider dies mid-transfer: a short body, the collector lives on.
        with socket.create_connection(("127.0.0.1", COLLECTOR_PORT), timeout=20) as s:
            s.sendall(b"GET /demo/big?mb=50\n\n")
            got = 0
            while got < 1 << 20 and (piece := s.recv(65536)):
                got += len(piece)
            killed = processes("demo_provider")
            for pid in killed:
                os.kill(pid, signal.SIGKILL)
            got += len(harness.read_until_close(s))
        self.assertLess(got, 50 << 20)
        self.assertTrue(c.running())
        # Until a killed process is reaped its listen socket may still take a
        # connection and then drop it (a 500): wait for the end first.
        for pid in killed:
            wait_until(lambda: not os.path.exists("/proc/%d" % pid), 10, what="demo_provider reaped")
        self.assertEqual(request("GET", "/demo/hello")[0], 200)

        # No executable and no process: 503 at once, not after a launch wait.
        os.remove(self.home.path("demo_provider"))
        kill_all("demo_provider")
        started = time.monotonic()
        self.assertEqual(request("GET", "/demo/hello"), (503, b"503 service unavailable"))
        self.assertLess(time.monotonic() - started, 5)

    def test_concurrent_clients(self):
        # 64 clients at once, while the status list is read and ticker stopped
        # and started; both providers start down, so launches race.
        self.home.start(ready=["demo_provider", "ticker_provider"])
        for name in ("demo_provider", "ticker_provider"):
            kill_all(name)
        paths = ["/demo/hello", "/ticker", "/demo/echo/c"]
        results = []
        stop = threading.Event()

        def client(path):
            for _ in range(3):
                results.append((path, request("GET", path)[0]))

        def churn():
            while not stop.is_set():
                request("GET", "/inventory")
                for cmd in ("stop", "start"):
                    request("POST", "/providercontrol?name=ticker_provider&cmd=" + cmd)

        churner = threading.Thread(target=churn)
        churner.start()
        threads = [threading.Thread(target=client, args=(paths[i % 3],)) for i in range(64)]
        for t in threads:
            t.start()
        for t in threads:
            t.join(120)
        stop.set()
        churner.join(60)
        self.assertEqual(len(results), 192)
        # A ticker request that meets a stop gets a whole 500 or 503 (http.client
        # reads every body to its length); the others are untouched.
        others = [r for p, r in results if p != "/ticker"]
        self.assertEqual(others, [200] * len(others))
        self.assertEqual(len(others), 3 * 43)
        self.assertTrue(all(r in (200, 500, 503) for _, r in results), results)
        wait_until(lambda: len(processes("demo_provider")) == 1, what="one demo process")  # racing launches


class ProviderStates(unittest.TestCase):
    """test_provider copies steered by the environment the collector passes on."""

    def test_late_initialization(self):
        flag = os.path.join(tempfile.mkdtemp(), "go")
        self.home = CollectorHome([("late_provider", "test_provider", TEST)],
                                  env={"TEST_PROVIDER_LATE_WAIT": flag}, test=self)
        c = self.home.start()
        wait_until(lambda: self.home.record("late_provider")["response"] == "200", what="late map update")
        self.assertEqual(request("GET", "/plain"), (503, b"503 service unavailable"))
        self.assertIn("request for page /plain decline with SERVICE_UNAVAILABLE", c.stderr())
        self.assertNotIn("Request document iresult", c.stderr())  # the provider was never asked
        open(flag, "w").close()
        wait_until(lambda: (self.home.record("late_provider") or {}).get("state") == "ready", 30, what="ready")
        self.assertEqual(request("GET", "/plain")[0], 200)

    def test_old_version_running_before_the_collector(self):
        self.home = CollectorHome([("old_provider", "test_provider", TEST)], test=self)
        # Started by hand, without -f: its index reply carries lateinitdone.
        old = harness.start_provider(self.home.path("old_provider"), ["-c", "-u"], env={"TEST_PROVIDER_VERSION": "1.0"},
                                     port=TEST)
        self.home.start(ready=["old_provider"])
        self.assertEqual(request("GET", "/a/b"), (200, b"/a/b"))
        old.stop()

    def test_a_slow_answer_never_holds_the_loop(self):
        # The collector waits for answers in its loop and moves a slow one
        # on to a session thread: other requests are answered meanwhile.
        self.home = CollectorHome([("slow_provider", "test_provider", TEST)], test=self)
        c = self.home.start(ready=["slow_provider"])
        answers = []
        t = threading.Thread(target=lambda: answers.append(request("GET", "/slow?ms=3000")))
        t.start()
        wait_until(lambda: "tempbuff is [GET /slow?ms=3000\n" in c.stderr(), what="slow request sent")
        longest = 0
        while t.is_alive():
            started = time.monotonic()
            self.assertEqual(request("GET", "/a/b"), (200, b"/a/b"))
            longest = max(longest, time.monotonic() - started)
        self.assertLess(longest, 1.5)  # a wait for the slow answer would take 2 s or more
        self.assertEqual(answers, [(200, b"slow")])

if __name__ == "__main__":
    harness.main()
