"""The collector under a service manager's notify socket (a python datagram
socket stands in for the manager): the state messages in order, the
watchdog's cadence and its silence while the loop is held, and a launched
provider that does not inherit the manager's variables."""
import os
import signal
import socket
import threading
import time
import unittest

import harness
from harness import wait_until
from collector_home import CollectorHome, processes, request

TICKER = 21602
WATCHDOG_USEC = 400000


class Manager:
    """Receives the notify datagrams on an abstract socket, with their arrival times."""

    def __init__(self):
        self.name = "@velmora-notify-%d" % os.getpid()
        self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
        self.sock.bind("\0" + self.name[1:])
        self.sock.settimeout(0.2)
        self.messages, self.done = [], False
        self.thread = threading.Thread(target=self.run)
        self.thread.start()

    def run(self):
        while not self.done:
            try:
                message = self.sock.recv(4096).decode()
                self.messages.append((time.monotonic(), message))
            except socket.timeout:
                pass

    def states(self):
        return [m.split("\n")[0] for _, m in self.messages if m != "WATCHDOG=1"]

    def watchdogs(self, after=0.0):
        return [t for t, m in self.messages if m == "WATCHDOG=1" and t > after]

    def close(self):
        self.done = True
        self.thread.join()
        self.sock.close()


class ServiceNotify(unittest.TestCase):
    def test_messages_watchdog_and_provider_environment(self):
        manager = Manager()
        self.addCleanup(manager.close)
        home = CollectorHome([("ticker_provider", "ticker_provider", TICKER)],
                             env={"NOTIFY_SOCKET": manager.name, "WATCHDOG_USEC": str(WATCHDOG_USEC)}, test=self)
        c = home.start(ready=["ticker_provider"])
        wait_until(lambda: manager.states() == ["READY=1"], what="READY=1")

        # Half the interval apart: never late, and not sent on every pass.
        start = time.monotonic()
        wait_until(lambda: len(manager.watchdogs(start)) >= 6, 5, what="watchdogs")
        times = manager.watchdogs(start)
        gaps = [b - a for a, b in zip(times, times[1:])]
        self.assertLess(max(gaps), WATCHDOG_USEC / 1e6, gaps)
        self.assertGreater(min(gaps), WATCHDOG_USEC / 1e6 / 2 * 0.75, gaps)

        # A launched provider never sees the manager's variables.
        ticker = wait_until(lambda: processes("ticker_provider"), what="ticker process")[0]
        with open("/proc/%d/environ" % ticker, "rb") as f:
            environ = f.read().split(b"\0")
        self.assertTrue([v for v in environ if v.startswith(b"VELMORA_SYSTEM_CONFIG_DIR=")])
        self.assertEqual([v for v in environ if v.startswith((b"NOTIFY_SOCKET=", b"WATCHDOG_"))], [])

        # A reload reads the registration files on the loop thread: one
        # that is a FIFO holds the loop (and only the loop) in its open
        # until a writer comes. No watchdog comes meanwhile; the first one
        # after the writer is the sentinel that the window is over.
        fifo = home.path("block.velmora.provider.xml")
        os.mkfifo(fifo)
        self.assertEqual(request("POST", "/inventory?clearmap=1")[0], 200)
        c.wait_log("processes file block.velmora.provider.xml")
        blocked = time.monotonic() + 0.05  # one in flight may still land
        time.sleep(1.0)  # the window itself, 2.5 watchdog intervals
        released = time.monotonic()
        os.close(os.open(fifo, os.O_WRONLY))
        wait_until(lambda: manager.watchdogs(released), 5, what="watchdog after the FIFO")
        self.assertEqual([t for t in manager.watchdogs(blocked) if t < released], [])

        os.kill(c.pid, signal.SIGHUP)
        wait_until(lambda: len(manager.states()) == 3, what="reload notices")
        reloading = [m for _, m in manager.messages if m.startswith("RELOADING=1")][0]
        self.assertRegex(reloading, r"^RELOADING=1\nMONOTONIC_USEC=\d+$")

        os.kill(c.pid, signal.SIGTERM)
        c.wait_exit(30)
        self.assertEqual(manager.states(), ["READY=1", "RELOADING=1", "READY=1", "STOPPING=1"])


if __name__ == "__main__":
    harness.main()
