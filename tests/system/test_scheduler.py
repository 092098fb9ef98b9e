"""Wakeups kept by a real collector for a provider killed at awkward
moments (one that idles out between its wakeups: test_collector_stats).
Only the provider's log is watched: requests to the collector would delay
its timers."""
import os
import signal
import unittest

import harness
from harness import wait_until
from collector_home import CollectorHome, processes, request

TICKER = 21602


class Chaos(unittest.TestCase):
    def wakeups(self):
        return harness.read_text(self.home.path("t.log")).count("TickerPage woken with cookie C\n")

    def test_killed_before_its_wakeup_and_during_shutdown(self):
        # The ticker logs in the home and ends only when it is killed.
        self.home = CollectorHome([("ticker_provider", "ticker_provider", TICKER, 'verbosity="0x800" logto="t.log"')],
                                  env={"VELMORA_TICKER_TICK": "0", "VELMORA_TICKER_IDLE": "600"}, test=self)
        self.c = self.home.start(ready=["ticker_provider"])
        first = wait_until(lambda: processes("ticker_provider"), what="ticker running")
        self.assertEqual(request("POST", "/ticker?wakeme=3&cookie=C"), (200, b"added"))
        # Stopped when its wakeup falls due, then killed: the delivery fails
        # (500), is retried, relaunches it and is delivered.
        os.kill(first[0], signal.SIGSTOP)
        self.c.wait_log("Requesting document: /extalarm", 15)
        os.kill(first[0], signal.SIGKILL)
        wait_until(lambda: self.wakeups() == 1, 15, what="wakeup delivered after the retry")
        second = processes("ticker_provider")
        self.assertEqual(len(second), 1)
        self.assertNotEqual(second, first)
        # Killed before its next wakeup: the wakeup relaunches it.
        os.kill(second[0], signal.SIGKILL)
        wait_until(lambda: self.wakeups() == 2, 15, what="wakeup delivered to the relaunched ticker")
        now = processes("ticker_provider")
        self.assertEqual(len(now), 1)
        self.assertNotEqual(now, second)
        # Both killed tickers were reaped: a zombie keeps its /proc entry.
        self.assertEqual([pid for pid in first + second if os.path.exists("/proc/%d" % pid)], [])

        # Killed once the collector's shutdown began: nothing relaunches it,
        # and the collector ends at its next look, long before the final
        # timer's 15 seconds.
        self.assertEqual(request("POST", "/shutdown")[0], 200)
        try:
            os.kill(now[0], signal.SIGKILL)
        except ProcessLookupError:
            pass  # it had already obeyed the collector's "/shutdown"
        self.assertEqual(self.c.wait_exit(5), 0)
        self.assertEqual(processes("ticker_provider"), [])
        self.assertNotIn("Attempt to start with filename", self.c.stderr().split("InitiateShutdown;")[-1])


if __name__ == "__main__":
    harness.main()
