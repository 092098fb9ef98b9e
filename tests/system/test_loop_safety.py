"""The server loop under hostile and unlucky clients: held-back and oversized
bodies to inline pages, crowds of idle, silent and slow connections, sessions
whose client sends nothing, descriptor exhaustion, and signals while standard
input is served."""
import os
import shutil
import signal
import socket
import subprocess
import threading
import time
import unittest

import harness
from harness import ALL, PORT, Proc, binary, body_of, exchange, get, start_provider, status_field, wait_until


def timed_get(path="/a"):
    started = time.monotonic()
    body = body_of(get(PORT, path, timeout=20))
    return body, time.monotonic() - started


def connect():
    return socket.create_connection(("127.0.0.1", PORT), timeout=20)


def closed_unanswered(s):
    """True when the server closed `s` without writing anything."""
    try:
        return s.recv(100) == b""
    except ConnectionResetError:
        return True


def provider(verbosity="0x13", env=None):
    return start_provider("test_provider", ["-c", "-z", "-u", "-V", verbosity], port=PORT, env=env)


class Crowds(unittest.TestCase):
    def test_held_back_and_oversized_bodies_then_idle_silent_and_slow_connections(self):
        with provider() as p:
            before = status_field(p.pid, "VmHWM")
            held = connect()
            held.sendall(b"POST /extalarm?alarms=1\nContent-Length: 100\n\n")
            opened = time.monotonic()
            big = connect()
            big.sendall(b"POST /extalarm?alarms=1\nContent-Length: %d\n\n" % (2 << 20))

            def flood():
                try:
                    big.sendall(b"x" * (2 << 20))
                except OSError:
                    pass  # the server may close before taking it all
            sender = threading.Thread(target=flood)
            sender.start()
            # Neither holds up a request queued behind them.
            body, waited = timed_get()
            self.assertEqual(body, b"/a")
            self.assertLess(waited, 1)
            self.assertTrue(closed_unanswered(big))
            sender.join()
            # The held-back body is refused at the head's 5 seconds.
            self.assertTrue(closed_unanswered(held))
            self.assertGreater(time.monotonic() - opened, 4.5)
            self.assertEqual(p.stderr().count("Request body refused from 127.0.0.1:"), 2)
            self.assertLess(status_field(p.pid, "VmHWM") - before, 4096)
            # A head and a body that arrive in pieces within the limits are served.
            s = connect()
            alarm = b'<alarms><alarm page="/a" cookie="c"/></alarms>'
            s.sendall(b"POST /extalarm?alarms=1\nContent-")
            time.sleep(0.2)  # deliberately in pieces
            s.sendall(b"Length: %d\n\n" % len(alarm) + alarm[:10])
            time.sleep(0.2)
            s.sendall(alarm[10:])
            self.assertTrue(s.recv(100).startswith(b"HTTP/1.1 200"))
            for sock in (big, held, s):
                sock.close()

            # Crowds of idle, silent and slow connections hold nobody up.
            idle = [connect() for _ in range(300)]
            wait_until(lambda: len(os.listdir("/proc/%d/fd" % p.pid)) > 300, what="300 accepted")
            body, waited = timed_get()
            self.assertEqual((body, waited < 0.1), (b"/a", True))
            for s in idle:
                s.close()

            # 50 clients send their heads a byte a second and one sends
            # nothing; all are cut off unanswered at 5 seconds.
            slow = [connect() for _ in range(51)]
            opened = time.monotonic()
            stop = threading.Event()

            def trickle():
                for ch in b"GET /a\nHost: x\n":
                    for s in slow[1:]:
                        try:
                            s.send(bytes([ch]))
                        except OSError:
                            pass
                    if stop.wait(1):
                        return
            t = threading.Thread(target=trickle)
            t.start()
            try:
                for _ in range(4):
                    body, waited = timed_get()
                    self.assertEqual((body, waited < 0.1), (b"/a", True))
                    time.sleep(0.5)  # spread over the slow clients' 5 seconds
                for s in slow:
                    self.assertTrue(closed_unanswered(s))
                self.assertGreater(time.monotonic() - opened, 4.5)
                self.assertLess(time.monotonic() - opened, 8)
            finally:
                stop.set()
                t.join()
                for s in slow:
                    s.close()
            self.assertEqual(p.stderr().count("Request head timed out from 127.0.0.1:"), 51)


class Sessions(unittest.TestCase):
    def stuck(self):
        stuck = [connect() for _ in range(20)]
        for s in stuck:
            s.sendall(b"POST /echo\nContent-Length: 10\n\n")
            self.addCleanup(s.close)
        return stuck

    def test_silent_sessions_time_out_and_never_hold_the_shutdown(self):
        with provider(ALL, env={"VELMORA_SESSION_TIMEOUT": "2"}) as p:
            opened = time.monotonic()
            stuck = self.stuck()
            body, waited = timed_get()  # the withheld bodies delay nobody
            self.assertEqual((body, waited < 1), (b"/a", True))
            for s in stuck:
                s.recv(100)  # the page answers what it got once its read gives up
            self.assertGreater(time.monotonic() - opened, 1.5)
            self.assertLess(time.monotonic() - opened, 6)
            wait_until(lambda: p.stderr().count("Session timed out for 127.0.0.1:") == 20, what="20 time-outs")

        with provider(ALL) as p:
            self.stuck()
            wait_until(lambda: p.stderr().count("HTTP Session started") == 20, what="20 sessions")
            started = time.monotonic()
            exchange(PORT, b"POST /shutdown\nContent-Length: 0\n\n")
            self.assertEqual(p.wait_exit(20), 0)
            self.assertGreater(time.monotonic() - started, 9)
            self.assertLess(time.monotonic() - started, 15)
            self.assertIn("shutting their connections down", p.stderr())


def answers():
    try:
        return body_of(get(PORT, "/a", timeout=2)) == b"/a"
    except OSError:
        return False


class Descriptors(unittest.TestCase):
    def test_out_of_descriptors_the_server_waits_and_serves_on(self):
        # prlimit sets the limit (soft and hard: the server cannot raise it)
        # and then becomes the provider.
        with Proc(shutil.which("prlimit"),
                  ["--nofile=64", binary("test_provider"), "-p", str(PORT), "-c", "-z", "-u"]) as p:
            wait_until(answers, what="the provider's port")
            held = []
            for _ in range(200):
                held.append(connect())
                held[-1].sendall(b"POST /echo\nContent-Length: 10\n\n")
            wait_until(lambda: "Unable to accept() TCP connection" in p.stderr(), what="the accept failure")
            for s in held:
                s.close()
            wait_until(answers, timeout=20, what="serving again")
            self.assertTrue(p.running())
            # Logged once per spell of failures, not once per retry. A spell
            # ends when an accept succeeds: the waiting list's overflow closes
            # its oldest connection, so a loaded machine may see a few spells.
            self.assertLessEqual(p.stderr().count("Unable to accept() TCP connection"), 10)


class StandardInput(unittest.TestCase):
    def test_first_interrupt_ends_the_standard_input_phase(self):
        for sig in (signal.SIGINT, signal.SIGTERM):
            p = Proc("test_provider", ["-u", "-V", ALL], stdin=subprocess.PIPE)
            try:
                p.popen.stdin.write(b"GET /a\n\n")
                p.popen.stdin.flush()
                wait_until(lambda: "/a" in p.stdout(), what="the first answer")
                p.signal(sig)
                self.assertEqual(p.wait_exit(5), 0)
                self.assertIn("STDIO phase finished", p.stderr())
            finally:
                p.popen.stdin.close()
                p.stop()


if __name__ == "__main__":
    harness.main()
