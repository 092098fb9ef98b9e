"""Statistics (-g): "/stats", the NAME.stats and NAME.pagestats files,
restarts, unreadable files, concurrent writers, SIGKILL mid-write. The
provider runs through a link "dp" in a folder of its own, where the files
named after the first word land."""
import os
import signal
import threading
import time
import unittest
import xml.etree.ElementTree as ET
from datetime import datetime

import harness
from harness import PORT, Proc, body_of, get, port_open, post, run, status_of, wait_until

COUNTERS = ["forwarded", "pagenotfound", "pagefound", "forked", "unforked", "timerserviced",
            "total-resident-time", "external-wakeups", "current-resident-time"]
parse = lambda text: ET.fromstring(b"<r>" + text + b"</r>")  # a sequence of top-level elements


class Folder:
    def __init__(self, test, executable="demo_provider"):
        self.link = harness.own_copy(test, executable, "dp", link=True)
        self.dir = os.path.dirname(self.link)

    def path(self, suffix):
        return self.link + suffix

    def read(self, suffix):
        with open(self.path(suffix), "rb") as f:
            return f.read()

    def write(self, suffix, text):
        harness.write_text(self.path(suffix), text)

    def start(self, *args, port=PORT, idle="-z"):
        p = Proc(self.link, ["-p", str(port), "-c", idle, "-u"] + list(args))
        wait_until(lambda: port_open(port) or not p.running(), what="port %d" % port)
        return p

    def keys(self):  # the top-level keys of NAME.stats
        return {k.get("name"): k.get("value") for k in parse(self.read(".stats")).findall("key")}

    def table(self):  # {path: GET count} of NAME.pagestats
        return {page.get("name"): int(page.find("section[@name='get']/key[@name='count']").get("value"))
                for page in parse(self.read(".pagestats")).findall("section")}


def stats(port=PORT):
    """GET /stats: counters, providerstats {name: text}, {path: page element}, element order."""
    response = get(port, "/stats")
    assert status_of(response) == b"HTTP/1.1 200 OK", response
    root = parse(body_of(response))
    return ({e.tag: int(e.text) for e in root if e.tag in COUNTERS}, {e.tag: e.text for e in root.find("providerstats")},
            {e.get("name"): e for e in root.findall("page")}, [e.tag for e in root])


def hammer(threads, each, port=PORT, stop=None, distinct=False):
    """Started client threads, each GETting /demo/hello (or /demo/hello/N-I) `each` times or until stop."""
    def client(n):
        for i in range(each):
            if stop is not None and stop.is_set():
                return
            try:
                get(port, "/demo/hello" + ("/%d-%d" % (n, i) if distinct else ""))
            except OSError:
                pass
    workers = [threading.Thread(target=client, args=(n,)) for n in range(threads)]
    for w in workers:
        w.start()
    return workers


def join(threads):
    for t in threads:
        t.join()


class Stats(unittest.TestCase):
    def setUp(self):
        self.f = Folder(self)

    def test_fresh_page_and_which_requests_are_timed(self):
        p = self.f.start("-g")
        counters, providers, pages, order = stats()
        self.assertEqual(order, COUNTERS + ["providerstats"])
        self.assertGreaterEqual(min(counters.pop("pagefound"), counters.pop("forked")), 1)
        self.assertLessEqual(counters.pop("timerserviced"), 1)  # the one-second pid timer
        self.assertLessEqual(counters.pop("current-resident-time"), 2)
        self.assertEqual((set(counters.values()), providers, pages), ({0}, {}, {}))
        self.assertEqual(status_of(post(PORT, "/stats")), b"HTTP/1.1 400 Bad Request")
        for path in ("/demo/hello", "/demo/hello/x", "/demo/hello", "/demo/inline", "/index"):
            get(PORT, path)
        post(PORT, "/extalarm?page=/none&cookie=c")  # inline, like /demo/inline and /index
        post(PORT, "/demo/echo", b"x")
        counters, _, pages, _ = stats()
        self.assertEqual(sorted(pages), ["/demo/echo", "/demo/hello", "/demo/hello/x", "/stats"])
        self.assertEqual([pages[k].find(e).text for k, e in (("/demo/hello", "get/count"), ("/demo/echo", "post/count"))],
                         ["2", "1"])
        self.assertEqual((counters["unforked"], counters["external-wakeups"]), (3, 1))
        p.stop()
        self.assertEqual([self.f.table()[k] for k in ("/demo/hello/x", "/stats")], [1, 2])
        self.assertEqual(run(self.f.link, ["-u", "-g", "-o", "GET /demo/hello/x"])[0], 0)  # one shot
        self.assertEqual(self.f.table()["/demo/hello/x"], 2)

    def test_no_lost_updates(self):
        p = self.f.start("-g")
        done = threading.Event()

        def readers():  # "/stats" and wakeups meanwhile (for the sanitizer builds)
            while not done.is_set():
                stats(), post(PORT, "/extalarm?page=/demo/hello&cookie=c")
        reader = threading.Thread(target=readers)
        reader.start()
        join(hammer(8, 25))
        done.set()
        reader.join()
        self.assertEqual(self.f.table()["/demo/hello"], 200)
        q = self.f.start("-g", port=PORT + 1)  # a second instance of the same executable shares the file
        join(hammer(4, 25) + hammer(4, 25, port=PORT + 1))
        self.assertEqual(self.f.table()["/demo/hello"], 400)
        p.stop(), q.stop()

    def test_restarts_continue_and_a_run_without_statistics_resets(self):
        p = self.f.start("-g")
        join(hammer(1, 3))
        p.stop()
        before = self.f.keys()
        self.f.write(".stats", self.f.read(".stats").replace(
            b'<section name="providerstats"/>', b'<section name="providerstats"><key name="p1" value="7"/></section>'))
        started = time.time()
        p = self.f.start("-g")
        counters, providers, _, _ = stats()
        self.assertGreaterEqual(counters["pagefound"], 4)
        self.assertEqual(providers, {"p1": "7"})
        wait_until(lambda: time.time() > started + 1.5, what="a resident second")
        p.stop()
        after = self.f.keys()
        date = lambda k: datetime.strptime(k["as-of"][1:21], "%d/%b/%Y:%H:%M:%S")
        self.assertEqual(after["first"], before["first"])
        self.assertGreater(date(after), date(before))
        self.assertGreater(int(after["total-resident-time"]), int(before["total-resident-time"]))
        self.assertIn(b'<key name="p1" value="7"/>', self.f.read(".stats"))
        # Without -g the file goes, there is no page and nothing is recorded;
        # the next -g run counts from zero.
        table, p = self.f.read(".pagestats"), self.f.start()
        self.assertFalse(os.path.exists(self.f.path(".stats")))
        self.assertEqual(get(PORT, "/stats"), b"")  # closed with nothing
        self.assertEqual(body_of(get(PORT, "/demo/hello")), b"Hello from the Velmora demo provider\n")
        p.stop()
        self.assertEqual(sorted(os.listdir(self.f.dir)), ["dp", "dp.pagestats"])
        self.assertEqual(self.f.read(".pagestats"), table)
        p = self.f.start("-g")
        self.assertEqual(stats()[0]["pagefound"], 1)
        p.stop()

    def test_unreadable_or_missing_files(self):
        self.f.write(".pagestats.tmp.1.0", b"<section")  # a leftover of a killed writer
        for text in [None, b"garbage", b'<key name="forwarded" value="3"/><section name="providerstats"><key', b"",
                     b'<key name="pagefound" value="many"/>'
                     b'<section name="/demo/hello"><section name="get"><key name="count" value="x"/></section></section>']:
            if text is not None:
                self.f.write(".stats", text), self.f.write(".pagestats", text)
            p = self.f.start("-g")
            get(PORT, "/demo/hello")
            counters, _, pages, _ = stats()
            self.assertEqual((counters["pagefound"], counters["forwarded"]), (2, 0), text)
            self.assertEqual(pages["/demo/hello"].find("get/count").text, "1", text)
            p.stop()
            self.assertEqual((self.f.keys()["pagefound"], self.f.table()["/stats"]), ("2", 1), text)


class Idle(unittest.TestCase):
    def test_save_timer_never_keeps_a_server_up(self):
        # A suggested shutdown ends a server even under -z.
        for path, idle in (("/idle?seconds=1", "-u"), ("/suggest", "-z")):
            f = Folder(self, "test_provider")
            p, started = f.start("-g", idle=idle), time.monotonic()
            get(PORT, path)
            self.assertEqual(p.wait_exit(10), 0)
            self.assertLess(time.monotonic() - started, 6)
            p.stop()
            self.assertIn("pagefound", f.keys())  # saved at the clean-up


class Kill(unittest.TestCase):
    def test_sigkill_under_load_leaves_whole_files(self):
        f, torn = Folder(self), []

        def watch(stop):  # every read, once a first table is there, is a whole table
            while not stop.is_set():
                try:
                    torn.extend([] if f.table() else ["empty"])
                except ET.ParseError as e:
                    torn.append(str(e))
        # Distinct paths make the file grow, so that a kill and the reads
        # more likely meet a write in progress.
        for round in range(3):
            p, stop, least = f.start("-g"), threading.Event(), 40 * (round + 1)
            workers = hammer(4, 10 ** 6, stop=stop, distinct=True)
            wait_until(lambda: os.path.exists(f.path(".pagestats")) and f.table(), what="a first record")
            workers.append(threading.Thread(target=watch, args=(stop,)))
            workers[-1].start()
            wait_until(lambda: torn or len(f.table()) >= least, what="requests recorded")
            p.stop(expect=-signal.SIGKILL, kill=True)
            stop.set()
            join(workers)
            self.assertEqual(torn, [])
            self.assertGreaterEqual(len(f.table()), least)


if __name__ == "__main__":
    harness.main()
