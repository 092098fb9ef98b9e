"""The commands posted to "/inventory" and "/providercontrol" of a real
collector: what each changes, what each refuses, and what never reaches the
loop thread's page."""
import unittest

import harness
from harness import COLLECTOR_PORT, wait_until
from collector_home import CollectorHome, cmdline, kill_all, processes, request

DEMO, TICKER = 21601, 21602
STOP_REPLY = b'\t<shutdownrequest provider="ticker_provider" result="200"/>\n'


class Inventory(unittest.TestCase):
    def setUp(self):
        self.home = CollectorHome([("demo_provider", "demo_provider", DEMO),
                                   ("ticker_provider", "ticker_provider", TICKER)], test=self)
        self.c = self.home.start(ready=["demo_provider", "ticker_provider"])

    def test_commands(self):
        c, home = self.c, self.home
        # Neither schedules anything: each scheduling command logs as it is
        # taken, before the answer, so the counts tell at once.
        commands = ("command to reload providers", "command to modify master config")
        before = [c.stderr().count(line) for line in commands]
        self.assertEqual(request("POST", "/inventory?clearmap=2"), (200, b""))
        self.assertEqual(request("POST", "/inventory?reconfig"), (200, b""))
        self.assertEqual([c.stderr().count(line) for line in commands], before)
        self.assertEqual(request("POST", "/inventory?reconfig=1"), (200, b""))
        c.wait_log("Reconfig kids Cookie found.")

        self.assertEqual(request("POST", "/inventory?file=gone&port=21620&code=404"), (200, b"okay"))
        self.assertEqual(home.record("gone")["response"], "404")
        self.assertEqual(request("GET", "/gone")[0], 404)  # not in the provider map

        self.assertEqual(request("POST", "/inventory?file=nobody&pid=77"), (200, b""))
        c.wait_log("InventoryPage::PID update for [nobody]; no matching provider found!")
        request("POST", "/inventory?file=demo_provider&pid=4242&provstatus=0")
        self.assertEqual((home.record("demo_provider")["lastpid"], home.record("demo_provider")["state"]),
                         ("4242", "error"))
        self.assertEqual(request("GET", "/demo/hello"), (500, b"500 internal server error"))
        request("POST", "/inventory?file=demo_provider&provstatus=1")
        self.assertEqual(request("GET", "/demo/hello")[0], 200)

        # A reply without a version: mismatch, which a status cannot move.
        request("POST", "/inventory?file=demo_provider&port=21601&code=200", b"<table/>")
        self.assertEqual(home.record("demo_provider")["state"], "version mismatch")
        request("POST", "/inventory?file=demo_provider&provstatus=0")
        self.assertEqual(home.record("demo_provider")["state"], "version mismatch")
        c.wait_log("ignore due to version mismatch error")

        # Names that point outside the folder are refused and never run.
        before = home.inventory()
        for name in ("../../bin/sh", "/bin/sh", "a\\\\b", ""):
            raw = harness.post(COLLECTOR_PORT, "/inventory?file=%s&port=21630&code=200" % name,
                               b'<table version="1.2.0.1"><page path="/evil"/></table>')
            self.assertEqual(harness.status_of(raw), b"HTTP/1.1 400 Bad Request", name)
        self.assertEqual(home.inventory(), before)
        self.assertEqual(request("GET", "/evil")[0], 404)

    def test_provider_control(self):
        c, home = self.c, self.home
        ticker = wait_until(lambda: processes("ticker_provider"), what="ticker")
        started = home.path("started.col")
        wait_until(lambda: "ticker_provider" in harness.read_text(started), what="ticker in started.col")
        self.assertEqual(request("POST", "/providercontrol?name=ticker_provider&cmd=stop"), (200, STOP_REPLY))
        wait_until(lambda: not processes("ticker_provider"), what="ticker exit")
        wait_until(lambda: "ticker_provider" not in harness.read_text(started), what="removestart")

        status, body = request("POST", "/providercontrol?name=ticker_provider&cmd=start")
        self.assertEqual(body, b'\t<startrequest provider="ticker_provider" result="405"/>\n')
        relaunched = processes("ticker_provider")
        self.assertEqual(len(relaunched), 1)
        self.assertNotEqual(relaunched, ticker)
        self.assertIn("-f", cmdline(relaunched[0]))

        for query in ("name=ticker_provider&cmd=Stop", "cmd=stop", "name=ticker_provider",
                      "name=../ticker_provider&cmd=start"):
            self.assertEqual(request("POST", "/providercontrol?" + query), (400, b""), query)
        self.assertEqual(request("GET", "/providercontrol?name=x&cmd=stop"), (200, b""))

        removes = c.stderr().count("does internal post")
        self.assertEqual(request("POST", "/providercontrol?name=nosuch&cmd=stop")[1],
                         b'\t<shutdownrequest provider="nosuch" result="-1"/>\n')
        self.assertEqual(c.stderr().count("does internal post"), removes)

        # Stopping one that is not running launches it to hear the request.
        kill_all("demo_provider")
        self.assertEqual(request("POST", "/providercontrol?name=demo_provider&cmd=stop")[1],
                         b'\t<shutdownrequest provider="demo_provider" result="200"/>\n')
        c.wait_log("ProviderControlPage::ShutdownProvider internal post response 200")
        wait_until(lambda: not processes("demo_provider"), what="demo stopped")


if __name__ == "__main__":
    harness.main()
