"""The server loop, dispatch and wire format of a real provider, over
loopback (our dialect; http.client and curl: test_routing) and on standard
input: answers, dispatch rules, bad input, signals (a second SIGTERM that
ends a waiting stop at once: test_shutdown), idle exit, the ready signal and
many clients at once."""
import os
import re
import signal
import socket
import tempfile
import threading
import time
import unittest

import harness
from harness import ALL, PORT, Proc, body_of, exchange, get, read_until_close, run, start_provider, wait_until


MASTER = ('<masterconfig><identity><name value="first"/><time value="t"/></identity>'
          '<monitoring-classes/></masterconfig>')


def provider(*extra):
    return start_provider("test_provider", ["-c", "-z", "-u"] + list(extra))


def run_threads(n, target):
    threads = [threading.Thread(target=target) for _ in range(n)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()


class Answers(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.p = provider("-V", ALL, "alt")

    @classmethod
    def tearDownClass(cls):
        cls.p.stop()

    def test_default_answers_and_dispatch(self):
        self.assertEqual(get(PORT, "/plain"), b"HTTP/1.1 200 OK\r\n\r\n")
        self.assertEqual(exchange(PORT, b"POST /plain\nContent-Length: 0\n\n"),
                         b"HTTP/1.1 405 Method Not Allowed\r\n\r\n")
        # A verb other than GET and POST: 405 on a session thread, nothing inline.
        self.assertEqual(exchange(PORT, b"PUT /plain\n\n"), b"HTTP/1.1 405 Method Not Allowed\r\n\r\n")
        self.assertEqual(exchange(PORT, b"PUT /inline\n\n"), b"")
        self.assertEqual(get(PORT, "/inline"), b"HTTP/1.1 200 OK\r\n\r\n")
        # The longest registered prefix that ends at a "/" serves the path.
        self.assertEqual(body_of(get(PORT, "/a/b/c")), b"/a/b")
        self.assertEqual(body_of(get(PORT, "/a/x")), b"/a")
        # Unknown paths go to the alternate handler (forked).
        self.assertEqual(body_of(get(PORT, "/ab")), b"alternate GET /ab")
        self.assertEqual(body_of(get(PORT, "/a/" + "x" * 300)), b"alternate GET /a/" + b"x" * 300)
        self.assertEqual(body_of(get(PORT, "/meta?requestmetadata=1")), b"<monitormetadata/>")
        self.assertEqual(body_of(get(PORT, "/self")), b"200 /a")  # a session asks its own server

    def test_one_request_per_connection_and_bad_heads(self):
        both = exchange(PORT, b"GET /a\n\nGET /a/b\n\n")
        self.assertEqual(both, b"HTTP/1.1 200 OK\r\nContent-Length:2\r\n\r\n/a")
        # Bad and cut heads are closed with nothing written and the loop goes
        # on; which heads are bad is request_reader_test's business.
        for data in (b"GET /a\n" + b"".join(b"H%d: v\n" % i for i in range(16)) + b"\n",  # one header too many
                     b"GET /a\nHost: x", bytes(range(256)) * 50):  # closed inside the headers; garbage
            self.assertEqual(exchange(PORT, data, shut_write=True), b"", data[:40])
        self.assertEqual(body_of(get(PORT, "/a")), b"/a")

    def test_access_log_line(self):
        with socket.create_connection(("127.0.0.1", PORT), timeout=10) as s:
            local_port = s.getsockname()[1]
            s.sendall(b"GET /a/x%41?q=1\n\n")
            got = read_until_close(s)
        pattern = (r'127\.0\.0\.1:%d - - \[\d\d/[A-Z][a-z]{2}/\d{4}:\d\d:\d\d:\d\d -?\d{4}\] '
                   r'"GET /a/xA" 200 %d \[request#\d+\]\n' % (local_port, len(got)))
        wait_until(lambda: re.search(pattern, self.p.stderr()), what="access-log line")


class StandardInput(unittest.TestCase):
    def test_requests_and_one_shot(self):
        rc, out, err = run("test_provider", ["-u", "-V", ALL], timeout=20,
                           input=b"GET /a\n\nGET /nothing\n\nPOST /echo\nContent-Length: 3\n\nxyz")
        self.assertEqual((rc, out), (0, "HTTP/1.1 200 OK\r\nContent-Length:2\r\n\r\n/a"
                                        "HTTP/1.1 404 Not Found\r\n\r\n"
                                        "HTTP/1.1 200 OK\r\nContent-Length:3\r\n\r\nxyz"))
        self.assertRegex(err, r':stdio - - \[.*"GET /a" 200 \d+ \[request#1\]\n(.|\n)*"GET /nothing" 404 \d+ '
                              r'\[request#2\]\n(.|\n)*"POST /echo" 200 \d+ \[request#3\]\n(.|\n)*STDIO phase finished')

        rc, out, _ = run("test_provider", ["-u", "-o", "GET /a/b"], timeout=20)
        self.assertEqual((rc, out), (0, "HTTP/1.1 200 OK\r\nContent-Length:4\r\n\r\n/a/b"))
        with tempfile.TemporaryDirectory() as d:
            # An absolute path begins with "/", an option prefix: it is attached.
            rc, out, _ = run("test_provider", ["-u", "-o", "GET /a", "-O" + d + "/out"], timeout=20)
            self.assertEqual((rc, out), (0, ""))
            with open(d + "/out", "rb") as f:
                self.assertEqual(f.read(), b"HTTP/1.1 200 OK\r\nContent-Length:2\r\n\r\n/a")


class Signals(unittest.TestCase):
    def test_sighup_reconfigures_each_page_once_sigterm_waits_for_session(self):
        # The master configuration lives beside the executable.
        exe = harness.own_copy(self, "test_provider")
        harness.write_text(os.path.join(os.path.dirname(exe), "masterconfig.ruleset.monitor.xml"), MASTER)
        def walked(n):  # the n-th walk over the pages has ended
            log = p.stderr()
            return log.count("two reads first\n") == n and "Releasing MasterConfig Cache\n" in log.rsplit("two", 1)[1]
        with start_provider(exe, ["-c", "-z", "-u", "-V", ALL], env={"TEST_PROVIDER_MASTERCONFIG": "1"}) as p:
            for n in (1, 2):
                p.signal(signal.SIGHUP)
                # The two pages reading the master configuration share one
                # parse, released at the walk's end (master_config_test shows
                # a released copy is read again).
                wait_until(lambda: walked(n), 10, what="reconfig")
                log = p.stderr()
                counted = ("TestPage::Reconfig /plain\n", "TestPage::Reconfig /a/b\n", "Reconfig request\n",
                           "ConfigPage::Reconfig /config/one reads first\n", "Loading MasterConfig Cache\n",
                           "ConfigPage::Reconfig /config/two reads first\n", "TEST-MASTERCONFIGSHARED",
                           "TEST-MASTERCONFIGNOTSHARED")
                self.assertEqual([log.count(t) for t in counted], [n] * 6 + [2 * n, 0])
            self.assertEqual(get(PORT, "/nothing/here"), b"")  # no alternate handler: closed unanswered

            # Pages still serve after reconfiguring; a SIGTERM waits for the session.
            result = {}
            t = threading.Thread(target=lambda: result.setdefault("r", get(PORT, "/slow?ms=1500")))
            t.start()
            p.wait_log("HTTP Session started")
            p.signal(signal.SIGTERM)
            self.assertEqual(p.wait_exit(15), 0)
            t.join()
            self.assertEqual(body_of(result["r"]), b"slow")
            err = p.stderr()
            self.assertLess(err.index("Signal Shutdown"), err.index("Waiting for processes to end"))
            self.assertLess(err.index("HTTP Session finished"), err.index("Shutdown request handled by default"))


class Idle(unittest.TestCase):
    def test_idle_exit_after_last_connection_not_during_session(self):
        with start_provider("test_provider", ["-c", "-u", "-V", ALL]) as p:
            # The loop waits: its first wait is the cookie-maintenance
            # timer's 60 seconds (59 when a slow start took a second of it).
            # The harness's port probe may wake the loop before its first
            # time-out; the wait chosen then is logged as the new timeout.
            first_wait = re.compile(r"(select\(\) timeout|new timeout is) (59|60)\n")
            wait_until(lambda: first_wait.search(p.stderr()), 10, what="the first wait")
            get(PORT, "/idle?seconds=2")
            # A session that outlasts the idle timeout keeps the provider up.
            started = time.monotonic()
            self.assertEqual(body_of(get(PORT, "/slow?ms=3500")), b"slow")
            self.assertTrue(p.running())
            last = time.monotonic()
            self.assertEqual(p.wait_exit(15), 0)
            idle = time.monotonic() - last
            self.assertGreater(time.monotonic() - started, 3.4)
            self.assertTrue(0.9 < idle < 6, idle)
            self.assertIn("Idle exit initiated", p.stderr())


class ReadySignal(unittest.TestCase):
    def test_set_and_reset(self):
        port = 5100
        with socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM) as s:
            s.bind("\0velmora.provider.accept.event.%d" % port)
            s.settimeout(10)
            with Proc("test_provider", ["-p", str(port), "-c", "-s", "-z", "-u"]) as p:
                self.assertEqual(s.recv(64), b"set")
                self.assertTrue(harness.port_open(port))
                p.signal(signal.SIGTERM)
                self.assertEqual(s.recv(64), b"reset")
                self.assertEqual(p.wait_exit(), 0)
        # Nothing bound: the provider still serves.
        with start_provider("test_provider", ["-c", "-s", "-z", "-u"], port=port):
            self.assertEqual(body_of(get(port, "/a")), b"/a")


class Load(unittest.TestCase):
    def test_many_clients_at_once_then_steady_load(self):
        with provider("-V", "0x400") as p:
            baseline = harness.thread_count(p.pid)
            results = []
            started = time.monotonic()
            run_threads(200, lambda: results.append(get(PORT, "/slow?ms=200", timeout=60)))
            self.assertEqual([body_of(r) for r in results], [b"slow"] * 200)
            # Sessions run side by side: far less than 200 delays in a row.
            self.assertLess(time.monotonic() - started, 10)
            # Every session thread ends once it has been parked a while; a
            # sanitizer runtime may keep one helper thread of its own.
            wait_until(lambda: harness.thread_count(p.pid) <= baseline + 1, 15, what="threads back to baseline")

            # While connections keep arriving the listen socket wins every wait,
            # so ended sessions must still be noticed on the accept path.
            seen = len(p.stderr())
            run_threads(6, lambda: [get(PORT, "/a") for _ in range(100)])
            sizes = [int(n) for n in re.findall(r"CleanConnectionList size (\d+)", p.stderr()[seen:])]
            self.assertGreater(len(sizes), 500)
            self.assertLess(max(sizes), 30, max(sizes))

if __name__ == "__main__":
    harness.main()
