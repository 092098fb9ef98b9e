"""Wakeups kept by a real collector for a provider that idles out: the
collector relaunches it when its wakeup falls due, every period. Only the
provider's log is watched: requests to the collector would delay its
timers."""
import unittest

import harness
from harness import wait_until
from collector_home import CollectorHome, cmdline, processes, request

TICKER = 21602


class Scheduler(unittest.TestCase):
    def setUp(self):
        self.home = CollectorHome([("ticker_provider", "ticker_provider", TICKER)],
                                  env={"VELMORA_TICKER_TICK": "0", "VELMORA_TICKER_IDLE": "2"})
        self.log = self.home.path("ticker.log")
        self.home.write("test.velmora.provider.xml",
                        '<startup><execute><provider><file name="ticker_provider" port="%d" verbosity="0x800" '
                        'logto="%s"/></provider></execute></startup>' % (TICKER, self.log))

    def tearDown(self):
        self.home.close()

    def wakeups(self):
        return harness.read_text(self.log).count("TickerPage woken with cookie C\n")

    def test_idle_provider_is_woken_each_period(self):
        self.c = self.home.start(ready=["ticker_provider"])
        first = wait_until(lambda: processes("ticker_provider"), what="ticker running")
        self.assertIn("-f", cmdline(first[0]))
        r = request("POST", "/ticker?wakeme=5&cookie=C")
        self.assertEqual(r, (200, b"added"), self.c.stderr()[-4000:])
        wait_until(lambda: not processes("ticker_provider"), 10, what="ticker idles out")
        self.assertEqual(self.wakeups(), 0)

        woken = wait_until(lambda: processes("ticker_provider"), 10, what="ticker relaunched")
        self.assertNotIn("-f", cmdline(woken[0]))
        wait_until(lambda: self.wakeups() == 1, 10, what="first wakeup")
        wait_until(lambda: not processes("ticker_provider"), 10, what="ticker idles out again")
        wait_until(lambda: self.wakeups() == 2, 10, what="second wakeup")


if __name__ == "__main__":
    harness.main()
