"""The collector's orderly stop with real providers: a POST to "/shutdown"
or a SIGTERM asks every provider to stop, the collector ends once they are
gone, nothing is launched meanwhile; and the reconfiguration broadcast."""
import os
import re
import signal
import time
import unittest

import harness
from harness import wait_until
from collector_home import CollectorHome, kill_all, proc_table, processes, request

SAMPLES = [("batch_provider", 21603), ("demo_provider", 21601), ("ticker_provider", 21602)]
BLOCKED = "Provider demo_provider start blocked due to pending system shutdown"


def gone(pid):
    """Ended and reaped (no /proc entry), or a zombie left to init."""
    return proc_table().get(pid, ("Z",))[0] == "Z"


def start_samples(test):
    """A collector with the three samples ready, each logging to a file of
    its own in the home, and the ticker's pid reported."""
    test.home = CollectorHome([(n, n, p, 'verbosity="0xFFFF" logto="%s.log"' % n) for n, p in SAMPLES], test=test)
    test.c = test.home.start(ready=[n for n, _ in SAMPLES])
    test.home.pid("ticker_provider")
    test.pids = {n: processes(n)[0] for n, _ in SAMPLES}


class Samples(unittest.TestCase):
    def setUp(self):
        start_samples(self)

    def log(self, name):
        return harness.read_text(self.home.path(name + ".log"))

    def shutdown_sequence(self):
        """The log once the collector has asked every provider to stop."""
        log = self.c.wait_log("InventoryPage::ShutdownAllProviders exits")
        log = self.c.stderr()
        self.assertEqual(log.count("InitiateShutdown; heartbeating & wakeups are now blocked"), 1)
        asked = re.findall(r"requests shutdown for (\w+)\n", log)
        self.assertEqual(asked, [n for n, _ in SAMPLES])
        return log

    def test_reconfig_then_post_shutdown(self):
        c = self.c
        kill_all("demo_provider")
        self.assertEqual(request("POST", "/inventory?reconfig=1"), (200, b""))
        c.wait_log("InventoryPage::RequestReconfigKids complete.")
        log = c.stderr()
        self.assertEqual(re.findall(r"RequestReconfigKids for provider (\w+)\n", log), [n for n, _ in SAMPLES])
        demo = processes("demo_provider")
        self.assertEqual(len(demo), 1)
        self.assertNotEqual(demo[0], self.pids["demo_provider"])  # started again
        for name, _ in SAMPLES:
            wait_until(lambda: "Reconfig for page /index" in self.log(name), 5, what="%s reconfig" % name)

        kill_all("demo_provider")
        self.assertEqual(request("POST", "/shutdown"), (200, b""))
        self.assertEqual(request("POST", "/shutdown"), (200, b""))  # answered, not begun again
        self.shutdown_sequence()
        # A page of a provider that is not running launches nothing now.
        request("GET", "/demo/hello")
        c.wait_log(BLOCKED)
        ended = wait_until(lambda: all(gone(pid) for pid in list(self.pids.values()) + demo) and time.monotonic(),
                           10, what="providers gone")
        c.wait_exit(5)
        exited = time.monotonic()
        self.assertLess(exited - ended, 2.0)
        log = c.stderr()
        c.stop(expect=0)
        ticks = log.count("Shutdown Test Timer (")
        self.assertGreaterEqual(ticks, 1)
        self.assertIn("Shutdown Test Timer (%d).\n" % ticks, log)
        self.assertEqual(log.count("[PREVIOUSLY SENT]"), 3 * ticks)
        self.assertIn("All providers have exited; shutting down now.", log)
        self.assertNotIn("Final shutdown timer expired", log)
        self.assertEqual([log.count(line) for line in ("ShutdownPage::Post /shutdown.",
                                                       "ShutdownPage::InventoryPage InitiateShutdown")], [2, 1])
        self.assertEqual(processes("demo_provider"), [])
        for name in ("batch_provider", "ticker_provider"):
            self.assertEqual(self.log(name).count("ShutdownPage::Post /shutdown."), 1, name)

    def test_sigterm_then_second_sigterm(self):
        c = self.c
        kill_all("demo_provider")
        os.kill(self.pids["ticker_provider"], signal.SIGSTOP)  # holds the collector's stop
        c.signal(signal.SIGTERM)
        self.shutdown_sequence()
        request("GET", "/demo/hello")
        c.wait_log(BLOCKED)
        c.wait_log("Shutdown Test Timer (2).")
        self.assertTrue(c.running())
        c.signal(signal.SIGTERM)
        self.assertEqual(c.wait_exit(2), -signal.SIGTERM)
        c.stop(expect=None)
        self.assertEqual(processes("demo_provider"), [])


if __name__ == "__main__":
    harness.main()
