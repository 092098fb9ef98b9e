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
    def start(self, keeps_stats, idle, files):
        self.home = CollectorHome([("ticker_provider", "ticker_provider", TICKER)],
                                  env={"VELMORA_TICKER_TICK": "0", "VELMORA_TICKER_IDLE": idle})
        self.addCleanup(self.home.close)
        self.home.write("test.velmora.provider.xml", '<startup><execute><provider><file name="ticker_provider" '
                        'port="%d"%s/></provider></execute></startup>' % (TICKER, ' stats="1"' * keeps_stats))
        for name, text in files.items():
            self.home.write(name, text)
        return self.home.start(ready=["ticker_provider"])

    def test_wakeups_and_file(self):
        c = self.start(False, "30", {"collector.stats": '<key name="planted" value="1"/>'})
        path = self.home.path("collector.stats")
        wait_until(lambda: "connections" in harness.read_text(path), what="save at the first timer advance")
        self.assertNotIn("planted", harness.read_text(path))
        self.assertRegex(stats(), r"<wakeups>0</wakeups><configname/><configtime/></collectorstats>$")
        self.assertEqual(stats("?providers=1"), "<providerstats/>")

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

    def test_master_config_and_provider_launch(self):
        c = self.start(True, "1", {"masterconfig.ruleset.monitor.xml": MASTER})
        self.assertRegex(stats(), r"<configname>base</configname><configtime>2026-12-01 10:00</configtime>")
        # Keeping statistics, it runs with -g; not running, it is launched to answer.
        self.assertIn("-g", cmdline(wait_until(lambda: processes("ticker_provider"), what="ticker")[0]))
        wait_until(lambda: not processes("ticker_provider"), 10, what="ticker idles out")
        launch = "Attempting to start provider: ticker_provider"
        launches = c.stderr().count(launch)
        self.assertRegex(stats("?providers=1"), r'^<providerstats><provider name="ticker_provider"[ />]')
        self.assertEqual(c.stderr().count(launch), launches + 1)


if __name__ == "__main__":
    harness.main()
