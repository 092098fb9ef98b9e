"""Statistics (-g) of a real demo_provider: "/stats", the NAME.stats and
NAME.pagestats files, restarts, unreadable files, concurrent writers and
SIGKILL mid-write. Each test runs the provider through a link in a folder of
its own, so that the files named after the first word land there."""
import os
import re
import shutil
import signal
import tempfile
import threading
import time
import unittest
import xml.etree.ElementTree as ET
from datetime import datetime

import harness
from collector_home import CollectorHome
from harness import COLLECTOR_PORT, PORT, Proc, body_of, get, port_open, post, run, status_of, wait_until

COUNTERS = ["forwarded", "pagenotfound", "pagefound", "forked", "unforked", "timerserviced",
            "total-resident-time", "external-wakeups", "current-resident-time"]


class Folder:
    """A folder holding a link "dp" to demo_provider, and the files it writes."""

    def __init__(self):
        self.dir = tempfile.mkdtemp(prefix="velmora-stats-")
        self.link = os.path.join(self.dir, "dp")
        os.symlink(os.path.abspath(harness.binary("demo_provider")), self.link)

    def path(self, suffix):
        return self.link + suffix

    def read(self, suffix):
        with open(self.path(suffix), "rb") as f:
            return f.read()

    def write(self, suffix, text):
        with open(self.path(suffix), "wb") as f:
            f.write(text)

    def start(self, *args, port=PORT):
        p = Proc(self.link, ["-p", str(port), "-c", "-z", "-u"] + list(args))
        wait_until(lambda: port_open(port) or not p.running(), what="port %d" % port)
        return p

    def keys(self):
        """The top-level keys of NAME.stats (a parse failure raises)."""
        root = ET.fromstring(b"<r>" + self.read(".stats") + b"</r>")
        return {k.get("name"): k.get("value") for k in root.findall("key")}, root

    def table(self, kind="get"):
        """{path: (count, sum)} of NAME.pagestats (a parse failure raises)."""
        root = ET.fromstring(b"<r>" + self.read(".pagestats") + b"</r>")
        pair = lambda page: [s for s in page.findall("section") if s.get("name") == kind][0]
        return {page.get("name"): tuple(int(k.get("value")) for k in pair(page).findall("key"))
                for page in root.findall("section")}

    def counts(self, path, kind="get"):
        return self.table(kind).get(path)

    def cleanup(self):
        shutil.rmtree(self.dir, ignore_errors=True)


def stats(port=PORT):
    """GET /stats: (counters as numbers, providerstats children, page elements)."""
    response = get(port, "/stats")
    assert status_of(response) == b"HTTP/1.1 200 OK", response
    root = ET.fromstring(b"<r>" + body_of(response) + b"</r>")
    counters = {e.tag: int(e.text) for e in root if e.tag in COUNTERS}
    providers = {e.tag: e.text for e in root.find("providerstats")}
    pages = {e.get("name"): e for e in root.findall("page")}
    return counters, providers, pages, [e.tag for e in root]


def hammer(threads, each, port=PORT, until=None, distinct=False):
    """`threads` clients GET /demo/hello `each` times (or until `until` is
    set); `distinct` adds a path element of its own to every request."""
    def client(n):
        for i in range(each):
            if until is not None and until.is_set():
                return
            try:
                get(port, "/demo/hello" + ("/%d-%d" % (n, i) if distinct else ""))
            except OSError:
                pass
    workers = [threading.Thread(target=client, args=(n,)) for n in range(threads)]
    for w in workers:
        w.start()
    return workers


def join(workers):
    for w in workers:
        w.join()


class Stats(unittest.TestCase):
    def setUp(self):
        self.f = Folder()

    def tearDown(self):
        self.f.cleanup()

    def test_off_deletes_and_records_nothing(self):
        self.f.write(".stats", b'<key name="pagefound" value="5"/>')
        p = self.f.start()
        self.assertFalse(os.path.exists(self.f.path(".stats")))
        self.assertEqual(get(PORT, "/stats"), b"")  # no page: closed with nothing
        self.assertEqual(body_of(get(PORT, "/demo/hello")), b"Hello from the Velmora demo provider\n")
        p.stop()
        self.assertEqual(sorted(os.listdir(self.f.dir)), ["dp"])

    def test_fresh_page_and_which_requests_are_timed(self):
        p = self.f.start("-g")
        counters, providers, pages, order = stats()
        self.assertEqual(order, COUNTERS[:8] + ["current-resident-time", "providerstats"])
        self.assertGreaterEqual(counters.pop("pagefound"), 1)
        self.assertGreaterEqual(counters.pop("forked"), 1)
        self.assertLessEqual(counters.pop("timerserviced"), 1)  # the one-second pid timer
        self.assertLessEqual(counters.pop("current-resident-time"), 2)
        self.assertEqual(set(counters.values()), {0})
        self.assertEqual((providers, pages), ({}, {}))
        self.assertEqual(status_of(post(PORT, "/stats")), b"HTTP/1.1 400 Bad Request")
        # Forked requests are timed per path; inline ones never are.
        for path in ("/demo/hello", "/demo/hello/x", "/demo/hello", "/demo/inline", "/index"):
            get(PORT, path)
        post(PORT, "/extalarm?page=/none&cookie=c")
        post(PORT, "/demo/echo", b"x")
        counters, _, pages, _ = stats()
        self.assertEqual(sorted(pages), ["/demo/echo", "/demo/hello", "/demo/hello/x", "/stats"])
        self.assertEqual(pages["/demo/hello"].find("get/count").text, "2")
        self.assertEqual(pages["/demo/echo"].find("post/count").text, "1")
        self.assertEqual((counters["unforked"], counters["external-wakeups"]), (3, 1))
        p.stop()
        self.assertEqual(self.f.counts("/demo/hello/x"), (1, self.f.counts("/demo/hello/x")[1]))
        self.assertEqual(self.f.counts("/stats")[0], 2)
        # A one-shot request on standard input records too.
        self.assertEqual(run(self.f.link, ["-u", "-g", "-o", "GET /demo/hello/x"])[0], 0)
        self.assertEqual(self.f.counts("/demo/hello/x")[0], 2)

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
        self.assertEqual(self.f.counts("/demo/hello")[0], 200)
        # A second instance of the same executable shares the file.
        q = self.f.start("-g", port=PORT + 1)
        join(hammer(4, 25) + hammer(4, 25, port=PORT + 1))
        self.assertEqual(self.f.counts("/demo/hello")[0], 400)
        p.stop(), q.stop()

    def test_restarts_continue_and_a_run_without_statistics_resets(self):
        p = self.f.start("-g")
        for _ in range(3):
            get(PORT, "/demo/hello")
        p.stop()
        before, _ = self.f.keys()
        self.f.write(".stats", self.f.read(".stats").replace(b'<section name="providerstats"/>',
                                                             b'<section name="providerstats"><key name="p1" value="7"/>'
                                                             b'</section>'))
        started = time.time()
        p = self.f.start("-g")
        counters, providers, _, _ = stats()
        self.assertGreaterEqual(counters["pagefound"], 4)
        self.assertEqual(providers, {"p1": "7"})
        wait_until(lambda: time.time() > started + 1.5, what="a resident second")
        p.stop()
        after, root = self.f.keys()
        self.assertEqual(after["first"], before["first"])
        date = lambda k: datetime.strptime(k["as-of"][1:21], "%d/%b/%Y:%H:%M:%S")
        self.assertGreater(date(after), date(before))
        self.assertGreater(int(after["total-resident-time"]), int(before["total-resident-time"]))
        self.assertEqual(root.find("section[@name='providerstats']/key").get("value"), "7")
        # Without -g the file goes; the next -g run counts from zero.
        self.f.start().stop()
        self.assertFalse(os.path.exists(self.f.path(".stats")))
        p = self.f.start("-g")
        self.assertEqual(stats()[0]["pagefound"], 1)
        p.stop()

    def test_unreadable_or_missing_files(self):
        cases = [None, b"garbage", b'<key name="forwarded" value="3"/><section name="providerstats"><key', b"",
                 b'<key name="pagefound" value="many"/>'
                 b'<section name="/demo/hello"><section name="get"><key name="count" value="x"/></section></section>']
        self.f.write(".pagestats.tmp.1.0", b"<section")  # a leftover of a killed writer
        for text in cases:
            if text is not None:
                self.f.write(".stats", text)
                self.f.write(".pagestats", text)
            p = self.f.start("-g")
            get(PORT, "/demo/hello")
            counters, _, pages, _ = stats()
            self.assertEqual((counters["pagefound"], counters["forwarded"]), (2, 0), text)
            self.assertEqual(pages["/demo/hello"].find("get/count").text, "1", text)
            p.stop()
            self.assertEqual(self.f.keys()[0]["pagefound"], "2", text)
            self.assertEqual(self.f.counts("/stats")[0], 1, text)


class CollectorPaths(unittest.TestCase):
    def test_files_named_against_the_start_directory(self):
        # Started as "../velmora_collector" from a folder inside its home; the
        # collector then changes to its home, where the relative name would
        # point one folder too high.
        home = CollectorHome([])
        try:
            os.makedirs(home.path("run"))
            p = Proc("../velmora_collector", ["-p", str(COLLECTOR_PORT), "-c", "-g"], cwd=home.path("run"),
                     env=home.env)
            home.procs.append(p)
            wait_until(lambda: port_open(COLLECTOR_PORT), what="collector port")
            self.assertEqual(status_of(get(COLLECTOR_PORT, "/stats")), b"HTTP/1.1 200 OK")
            p.stop()
            self.assertTrue(os.path.exists(home.path("velmora_collector.stats")))
            self.assertEqual(ET.fromstring(b"<r>" + open(home.path("velmora_collector.pagestats"), "rb").read()
                                           + b"</r>")[0].get("name"), "/stats")
        finally:
            home.close()


class Kill(unittest.TestCase):
    def test_sigkill_under_load_leaves_whole_files(self):
        f = Folder()
        torn = []

        def watch(stop):  # every read of the file, once it exists, is a whole table
            while not stop.is_set():
                try:
                    if not f.table():
                        torn.append("empty")
                except FileNotFoundError:
                    pass
                except ET.ParseError as e:
                    torn.append(str(e))
        try:
            # Distinct paths make the file grow, so that a kill and the
            # reads more likely meet a write in progress.
            for round in range(3):
                p = f.start("-g")
                stop = threading.Event()
                workers = hammer(4, 10 ** 6, until=stop, distinct=True)
                least = 40 * (round + 1)
                wait_until(lambda: os.path.exists(f.path(".pagestats")) and f.table(), what="a first record")
                watcher = threading.Thread(target=watch, args=(stop,))
                watcher.start()
                wait_until(lambda: torn or len(f.table()) >= least, what="requests recorded")
                p.stop(expect=-signal.SIGKILL, kill=True)
                stop.set()
                join(workers + [watcher])
                self.assertEqual(torn, [])
                self.assertGreaterEqual(len(f.table()), least)
        finally:
            f.cleanup()


if __name__ == "__main__":
    harness.main()
