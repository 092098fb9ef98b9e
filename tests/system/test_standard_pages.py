"""The standard pages of every server, and the ticker sample provider, over
loopback and with the fake collector on 21584. Other clients (curl,
http.client) are test_routing.py's."""
import re
import time
import unittest

import harness
from harness import ALL, PORT, FakeCollector, body_of, exchange, get, post, start_provider, status_of, wait_until


class Pages(unittest.TestCase):
    def test_standard_pages_and_external_alarms(self):
        with start_provider("test_provider", ["-c", "-u", "-z", "-V", ALL], port=PORT) as p:
            answer = lambda r: (status_of(r)[9:12], body_of(r))
            self.assertEqual(answer(get(PORT, "/status")), (b"200", b'\t<status provdown="1"/>\n'))
            self.assertEqual(answer(post(PORT, "/status"))[0], b"405")
            self.assertEqual(answer(get(PORT, "/extalarm"))[0], b"400")
            self.assertEqual(answer(get(PORT, "/heartbeat")), (b"200", b""))

            ok = b"HTTP/1.1 200 OK\r\nContent-Length:0\r\n\r\n"
            alarm = lambda query, body=b"": post(PORT, "/extalarm?" + query, body)
            self.assertEqual(alarm("page=/a/b&cookie=a%20b"), ok)
            p.wait_log("MonitorPage::ExternalWakeupRecieved itemID is a b\n")
            for query in ("masterreconfig=0", "masterreconfig=x"):
                self.assertEqual(alarm(query), ok)
            # A 2-second timer armed after them falls due after any 1-second
            # reload they might have scheduled: once it has, none was.
            self.assertEqual(body_of(get(PORT, "/timers?add=sentinel&interval=2")), b"1")
            self.assertEqual(alarm("alarms=1", b'<alarms><alarm page="/a" cookie="one"/>'
                                               b'<alarm page="/plain" cookie="two"/><ALARM page="/a" cookie="no"/>'
                                               b'<alarm page="/a"/></alarms>'), ok)
            p.wait_log("itemID is two\n")
            self.assertEqual(alarm("alarms=1", b"<alarms><alarm"), ok)
            self.assertEqual(alarm("page=/nowhere&cookie=c"), ok)
            p.wait_log("MonitorServer::ForwardESWakeup can't find page (/nowhere)")
            self.assertEqual(alarm("cookie=lonely"), ok)
            p.wait_log("Time to monitor item sentinel\n")
            err = p.stderr()
            self.assertIn("itemID is one\n", err)
            for line in ("itemID is no\n", "itemID is lonely\n", "Reconfig request"):
                self.assertNotIn(line, err)
            # masterreconfig=1: every page's Reconfig about a second later;
            # a page= beside it is ignored.
            started = time.monotonic()
            self.assertEqual(alarm("masterreconfig=1&page=/a&cookie=ignored"), ok)
            p.wait_log("TestPage::Reconfig /plain\n")
            self.assertGreater(time.monotonic() - started, 0.5)
            self.assertNotIn("itemID is ignored", p.stderr())
            self.assertEqual(p.stderr().count("Reconfig request\n"), 1)
            self.assertEqual(answer(post(PORT, "/shutdown"))[0], b"200")
            self.assertEqual(p.wait_exit(), 0)


class Ticker(unittest.TestCase):
    def test_first_run_index_reports_ticks_wakeups_and_timer_listings(self):
        with FakeCollector(reply="added") as fc, start_provider("ticker_provider", ["-c", "-f", "-z", "-V", ALL],
                                                                port=PORT) as p:
            first = body_of(get(PORT, "/index"))
            self.assertEqual(first, b'<table date="9 Feb 2007" version="1.2.0.1">\n'
                                    b'\t<page path="/ticker" metadata="n"/>\n</table>\n')
            get(PORT, "/index?collectorrequest=1&x=1")
            self.assertNotIn("Initial index page request", p.stderr())
            for _ in range(2):
                get(PORT, "/index?collectorrequest=1")
            self.assertEqual(p.stderr().count("IndexPage::Initial index page request from collector\n"), 1)
            self.assertIn(b'lateinitdone="1"', body_of(get(PORT, "/index")))

            self.assertEqual(body_of(exchange(PORT, b"POST /ticker?interval=1\n\n")), b"modified")
            # Listings on session threads while the loop services the timers
            # (the sanitizer builds watch this).
            deadline, count = time.monotonic() + 3, 0
            while time.monotonic() < deadline:
                self.assertIn(b"<TIMERS", body_of(get(PORT, "/ticker?timerstatus=1")))
                count += 1
            self.assertGreater(count, 10)
            wait_until(lambda: re.search(rb'ticks="[2-9]', body_of(get(PORT, "/ticker"))), 10, what="ticks")
            listing = body_of(get(PORT, "/ticker?timerstatus=1"))
            self.assertRegex(listing.decode(), r'^<TIMERS secondspassed="\d+"><TIMER ID="tick" interval="1" ')
            self.assertEqual(body_of(exchange(PORT, b"POST /ticker?wakeme=30&cookie=c%201\n\n")), b"added")
            scheduled = [r for r in fc.requests() if r["path"] == "/extschedule"]
            self.assertEqual(scheduled[0]["query"], "cmd=addrenew&page=%2Fticker&cookie=c%201&delay=30")
            self.assertEqual(body_of(get(PORT, "/schedule")),
                             b'<table type="schedule" >\n\t<tr><td>wakeme</td><td>30</td></tr>\n</table>\n')
            exchange(PORT, b"POST /extalarm?page=/ticker&cookie=c%201\n\n")
            self.assertIn(b'<wakeup cookie="c 1"/>', body_of(get(PORT, "/ticker")))


if __name__ == "__main__":
    harness.main()
