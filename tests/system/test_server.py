"""The server loop and dispatch of a real provider, over loopback and on
standard input: default answers, dispatch rules, signals, idle exit, the
ready signal, the request-head deadline and many clients at once."""
import os
import signal
import socket
import subprocess
import tempfile
import threading
import time
import unittest

from harness import (Proc, binary, body_of, check_isolated, exchange, get, port_open, read_until_close,
                     start_provider, thread_count, wait_until)

ALL = "0xFFFFFFFF"
PORT = 5000


class Answers(unittest.TestCase):
    def setUp(self):
        self.p = start_provider("test_provider", ["-c", "-z", "-u", "-V", ALL, "alt"], port=PORT)

    def tearDown(self):
        self.p.stop()

    def test_default_answers_and_verbs(self):
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
        self.assertEqual(body_of(get(PORT, "/meta?x=1&requestmetadata=1")), b"meta")
        self.assertEqual(body_of(get(PORT, "/self")), b"200 /a")  # a session asks its own server

    def test_one_request_per_connection_and_bad_heads(self):
        both = exchange(PORT, b"GET /a\n\nGET /a/b\n\n")
        self.assertEqual(both, b"HTTP/1.1 200 OK\r\nContent-Length:2\r\n\r\n/a")
        # Garbage and cut heads are closed with nothing; the loop goes on.
        self.assertEqual(exchange(PORT, b"GET /a\nno colon here\n\n"), b"")
        self.assertEqual(exchange(PORT, bytes(range(256)) * 4 + b"\n\n"), b"")
        self.assertEqual(exchange(PORT, b"GET /a\nHost: x", shut_write=True), b"")
        self.assertEqual(body_of(get(PORT, "/a")), b"/a")


class NoHandler(unittest.TestCase):
    def test_unknown_path_closes_without_answer(self):
        with start_provider("test_provider", ["-c", "-z", "-u"], port=PORT):
            self.assertEqual(get(PORT, "/nothing/here"), b"")
            self.assertEqual(body_of(get(PORT, "/a")), b"/a")


class StandardInput(unittest.TestCase):
    def test_two_requests_two_answers(self):
        p = subprocess.run([binary("test_provider"), "-u", "-V", ALL],
                           input=b"GET /a\n\nGET /nothing\n\nPOST /echo\nContent-Length: 3\n\nxyz",
                           capture_output=True, timeout=20)
        self.assertEqual(p.returncode, 0)
        self.assertEqual(p.stdout, b"HTTP/1.1 200 OK\r\nContent-Length:2\r\n\r\n/a"
                                   b"HTTP/1.1 404 Not Found\r\n\r\n"
                                   b"HTTP/1.1 200 OK\r\nContent-Length:3\r\n\r\nxyz")
        err = p.stderr.decode()
        self.assertIn(':stdio - - [', err)
        self.assertRegex(err, r'"GET /a" 200 \d+ \[request#1\]\n')
        self.assertRegex(err, r'"GET /nothing" 404 \d+ \[request#2\]\n')
        self.assertRegex(err, r'"POST /echo" 200 \d+ \[request#3\]\n')
        self.assertIn("STDIO phase finished", err)

    def test_one_shot(self):
        p = subprocess.run([binary("test_provider"), "-u", "-o", "GET /a/b"], capture_output=True, timeout=20,
                           stdin=subprocess.DEVNULL)
        self.assertEqual((p.returncode, p.stdout), (0, b"HTTP/1.1 200 OK\r\nContent-Length:4\r\n\r\n/a/b"))
        out = os.path.join(tempfile.mkdtemp(), "out.txt")
        # An absolute path begins with "/", an option prefix: it is attached.
        p = subprocess.run([binary("test_provider"), "-u", "-o", "GET /a", "-O" + out], capture_output=True,
                           timeout=20, stdin=subprocess.DEVNULL)
        self.assertEqual(p.stdout, b"")
        with open(out, "rb") as f:
            self.assertEqual(f.read(), b"HTTP/1.1 200 OK\r\nContent-Length:2\r\n\r\n/a")


class Signals(unittest.TestCase):
    def test_sigterm_waits_for_running_session(self):
        p = start_provider("test_provider", ["-c", "-z", "-u", "-V", ALL], port=PORT)
        try:
            result = {}
            t = threading.Thread(target=lambda: result.setdefault("r", get(PORT, "/slow?ms=1500")))
            t.start()
            p.wait_log("HTTP Session started")
            p.signal(signal.SIGTERM)
            self.assertEqual(p.wait_exit(15), 0)
            t.join()
            self.assertEqual(body_of(result["r"]), b"slow")
            err = p.stderr()
            self.assertIn("Signal Shutdown", err)
            self.assertIn("Waiting for processes to end", err)
            self.assertLess(err.index("HTTP Session finished"), err.index("Shutdown request handled by default"))
        finally:
            p.stop()

    def test_sighup_reconfigures_each_page_once(self):
        with start_provider("test_provider", ["-c", "-z", "-u", "-V", ALL], port=PORT) as p:
            for n in (1, 2):
                p.signal(signal.SIGHUP)
                wait_until(lambda: p.stderr().count("TestPage::Reconfig /plain\n") == n, 10, what="reconfig")
                self.assertEqual(p.stderr().count("TestPage::Reconfig /a/b\n"), n)
                self.assertEqual(p.stderr().count("Reconfig request\n"), n)
            self.assertEqual(body_of(get(PORT, "/a")), b"/a")

    def test_suggest_shutdown_ends_idle_provider(self):
        for extra in ([], ["-z"]):
            with start_provider("test_provider", ["-c", "-u", "-V", ALL] + extra, port=PORT) as p:
                started = time.monotonic()
                self.assertEqual(body_of(get(PORT, "/suggest")), b"suggested")
                self.assertEqual(p.wait_exit(10), 0)
                self.assertLess(time.monotonic() - started, 5)
                self.assertIn("Signal SuggestShutdown", p.stderr())
                self.assertIn("Idle exit initiated", p.stderr())


class Idle(unittest.TestCase):
    def test_idle_exit_after_last_connection_not_during_session(self):
        with start_provider("test_provider", ["-c", "-u", "-V", ALL], port=PORT) as p:
            # The first wait is the cookie-maintenance timer's 60 seconds;
            # the rest of the default idle timeout of 90 follows it.
            self.assertIn("select() timeout 60\n", p.stderr())
            get(PORT, "/idle?seconds=2")
            # A session that outlasts the idle timeout keeps the provider up.
            started = time.monotonic()
            self.assertEqual(body_of(get(PORT, "/slow?ms=3500")), b"slow")
            self.assertTrue(p.running())
            last = time.monotonic()
            self.assertEqual(p.wait_exit(15), 0)
            idle = time.monotonic() - last
            self.assertGreater(time.monotonic() - started, 3.4)
            self.assertGreater(idle, 0.9)
            self.assertLess(idle, 6)
            self.assertIn("Idle exit initiated", p.stderr())


class ReadySignal(unittest.TestCase):
    def test_set_and_reset(self):
        port = 5100
        s = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
        s.bind("\0velmora.provider.accept.event.%d" % port)
        s.settimeout(10)
        p = Proc("test_provider", ["-p", str(port), "-c", "-s", "-z", "-u"])
        try:
            self.assertEqual(s.recv(64), b"set")
            self.assertTrue(port_open(port))
            p.signal(signal.SIGTERM)
            self.assertEqual(s.recv(64), b"reset")
            self.assertEqual(p.wait_exit(), 0)
        finally:
            p.stop()
            s.close()
        # Nothing bound: the provider still serves.
        with start_provider("test_provider", ["-c", "-s", "-z", "-u"], port=port):
            self.assertEqual(body_of(get(port, "/a")), b"/a")


class HeadDeadline(unittest.TestCase):
    def test_silent_client_is_cut_off_and_others_served(self):
        with start_provider("test_provider", ["-c", "-z", "-u", "-V", ALL], port=PORT) as p:
            silent = socket.create_connection(("127.0.0.1", PORT))
            opened = time.monotonic()
            wait_until(lambda: "MonitorServer::AcceptConnection" in p.stderr(), what="the silent accept")
            # The silent client holds nobody up...
            self.assertEqual(body_of(get(PORT, "/a", timeout=20)), b"/a")
            self.assertLess(time.monotonic() - opened, 1)
            # ...and is closed with nothing written once its time is up.
            silent.settimeout(10)
            self.assertEqual(silent.recv(100), b"")
            self.assertGreater(time.monotonic() - opened, 4.5)
            silent.close()
            self.assertIn("Request head timed out from 127.0.0.1:", p.stderr())

    def test_second_sigterm_ends_at_once(self):
        p = start_provider("test_provider", ["-c", "-z", "-u", "-V", ALL], port=PORT)
        slow = threading.Thread(target=lambda: exchange(PORT, b"GET /slow?ms=20000\n\n", timeout=30))
        slow.start()
        try:
            p.wait_log("HTTP Session started")
            started = time.monotonic()
            p.signal(signal.SIGTERM)  # the shutdown now waits for the session
            p.wait_log("Waiting for processes to end")
            p.signal(signal.SIGTERM)
            self.assertEqual(p.wait_exit(3), -signal.SIGTERM)
            self.assertLess(time.monotonic() - started, 2)
        finally:
            p.stop()
            slow.join()


class Concurrency(unittest.TestCase):
    def test_many_clients_at_once(self):
        with start_provider("test_provider", ["-c", "-z", "-u"], port=PORT) as p:
            baseline = thread_count(p.pid)
            results = []
            lock = threading.Lock()

            def client():
                r = get(PORT, "/slow?ms=200", timeout=60)
                with lock:
                    results.append(r)

            clients = [threading.Thread(target=client) for _ in range(200)]
            started = time.monotonic()
            for c in clients:
                c.start()
            for c in clients:
                c.join()
            elapsed = time.monotonic() - started
            self.assertEqual(len(results), 200)
            self.assertTrue(all(body_of(r) == b"slow" for r in results))
            # Sessions run side by side: far less than 200 delays in a row.
            self.assertLess(elapsed, 10)
            # Every session thread ends; a sanitizer runtime may keep one
            # helper thread of its own, started with the first thread.
            wait_until(lambda: thread_count(p.pid) <= baseline + 1, 10, what="threads back to baseline")


class ConnectionList(unittest.TestCase):
    def test_list_stays_small_under_steady_load(self):
        # While connections keep arriving the listen socket wins every wait,
        # so ended sessions must still be noticed on the accept path.
        import re
        with start_provider("test_provider", ["-c", "-z", "-u", "-V", "0x400"], port=PORT) as p:
            def client():
                for _ in range(100):
                    get(PORT, "/a")
            clients = [threading.Thread(target=client) for _ in range(6)]
            for c in clients:
                c.start()
            for c in clients:
                c.join()
            sizes = [int(n) for n in re.findall(r"CleanConnectionList size (\d+)", p.stderr())]
            self.assertGreater(len(sizes), 500)
            self.assertLess(max(sizes), 30, max(sizes))


if __name__ == "__main__":
    check_isolated()
    unittest.main()
