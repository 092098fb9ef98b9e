"""The collector's statistics page on a real collector: the master
configuration it names, the wakeups it counts, the provider launch its
provider statistics cause, and "collector.stats", which each run starts anew."""
import unittest

import harness
from harness import wait_until
from collector_home import CollectorHome, cmdline, processes, request

TICKER = 21602
MASTER = '<masterconfig><identity><name value="base"/><time value="2026-12-01 10:00"/></identity></masterconfig>'


def stats(query=""):
    return request("GET", "/collector/stats" + query)[1].decode()


class CollectorStats(unittest.TestCase):
    def start(self, keeps_stats, idle, files, args=()):
        self.home = CollectorHome([("ticker_provider", "ticker_provider", TICKER) + ('stats="1"',) * keeps_stats],
                                  env={"VELMORA_TICKER_TICK": "0", "VELMORA_TICKER_IDLE": idle}, test=self)
        for name, text in files.items():
            self.home.write(name, text)
        return self.home.start(("-V", "0xFFFF") + args, ready=["ticker_provider"])

    def test_wakeups_and_file(self):
        # The replies' shape and a stale file replaced: services_collector_stats_page_test.
        c = self.start(False, "30", {}, ("-g",))
        path = self.home.path("collector.stats")
        wait_until(lambda: "connections" in harness.read_text(path), what="save at the first timer advance")
        self.assertEqual(request("POST", "/ticker?wakeme=1&cookie=C"), (200, b"added"))
        sent = "ScheduleAccessPage::SendWakeup Request URI"
        wait_until(lambda: stats() and stats("?providers=1") and c.stderr().count(sent) >= 2, 10, 0.05,
                   what="two wakeups, asked for statistics meanwhile")
        self.assertRegex(stats(), r"<wakeups>[1-9]\d*</wakeups>")
        c.signal()  # the save at clean-up holds every wakeup sent
        c.wait_exit(30)
        sent = c.stderr().count(sent)
        self.assertRegex(harness.read_text(path), r'<section name="connections">[\s\S]*<key name="wakeups" '
                                                  r'value="%d"/>\s*<key name="configname" value=""/>' % sent)
        # The collector's own statistics file ("<first word>.stats", the word
        # relative to the start directory) is another file.
        own = harness.read_text(self.home.path("velmora_collector.stats"))
        self.assertIn('<key name="total-resident-time"', own)
        self.assertNotIn("connections", own)

    def test_master_config_relaunches_and_provider_launch(self):
        c = self.start(True, "1", {"masterconfig.ruleset.monitor.xml": MASTER})
        self.assertRegex(stats(), r"<configname>base</configname><configtime>2026-12-01 10:00</configtime>")
        # Keeping statistics, the ticker runs with -g. Woken three times, idling
        # out before each: 3 wakeups sent, 3 received over its three runs.
        self.assertIn("-g", cmdline(wait_until(lambda: processes("ticker_provider"), what="ticker")[0]))
        self.assertEqual(request("POST", "/ticker?wakeme=3&cookie=C"), (200, b"added"))
        sent, up = "ScheduleAccessPage::SendWakeup Request URI", "ticker_provider took "
        for n in (1, 2, 3, 4):
            # Up again for the last wakeup (or at the load), then gone.
            wait_until(lambda: (log := c.stderr()).count(sent) == n - 1 and log.count(up) == n
                       and not processes("ticker_provider"), 10, what="idle exit before wakeup %d" % n)
            if n < 4:
                wait_until(lambda: c.stderr().count(sent) == n, 10, what="wakeup %d" % n)
        self.assertEqual(request("POST", "/extschedule?cmd=del&page=/ticker&cookie=C&delay=0"), (200, b"deleted"))
        self.assertRegex(stats(), r"<wakeups>3</wakeups>")
        # Not running, it is launched to answer.
        self.assertIn("&lt;external-wakeups&gt;3&lt;/external-wakeups&gt;", stats("?providers=1"))
        self.assertEqual(c.stderr().count(up), 5)

if __name__ == "__main__":
    harness.main()
