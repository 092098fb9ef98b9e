"""batch_provider: jobs on worker threads followed through async cookies,
results kept across a restart, status listings under load while jobs run
and cookies are aged."""
import re
import signal
import threading
import time
import unittest

import harness
from harness import ALL, PORT, body_of, get, post, start_provider, status_of, wait_until


class Batch(unittest.TestCase):
    def setUp(self):
        self.exe = harness.own_copy(self, "batch_provider")
        self.archive = self.exe + ".cookies.xml"

    def start(self):
        p = start_provider(self.exe, ["-c", "-z", "-u", "-V", ALL])
        self.addCleanup(p.stop)
        return p

    def start_job(self, query):
        r = post(PORT, "/batch?" + query)
        m = re.fullmatch(rb'HTTP/1.1 200 OK\r\n.*\r\n\r\n<async-operation async-id="([^"]+)"/>', r, re.S)
        self.assertIsNotNone(m, r)
        return m.group(1).decode()

    def result(self, cookie_id):
        r = get(PORT, "/batch?async-result-request=1&async-id=" + cookie_id)
        self.assertEqual(status_of(r), b"HTTP/1.1 200 OK", r)
        return body_of(r).decode()

    def wait_complete(self, cookie_id, timeout=15):
        return wait_until(lambda: "<async-complete>" in self.result(cookie_id) and self.result(cookie_id),
                          timeout, what="job %s complete" % cookie_id)

    def test_job_reports_progress_then_completes(self):
        self.start()
        cookie = self.start_job("job=alpha&steps=4&stepms=300")
        self.assertRegex(cookie, r"^alpha![0-9a-f]{10}$")
        # Progress arrives through the worker's reports to the page.
        partial = wait_until(lambda: "progress=\"25\"" in self.result(cookie) and self.result(cookie), 10,
                             what="first step")
        self.assertEqual(partial, '<async-result id="%s" ><async-inprogress progress="25">'
                                  '<batch-progress job="alpha" step="1" steps="4"/></async-inprogress>'
                                  '</async-result>' % cookie)
        self.assertIn("<helper", body_of(get(PORT, "/batch?workerstatus=1")).decode())
        self.assertEqual(self.wait_complete(cookie),
                         '<async-result id="%s" ><async-complete><batch-result job="alpha" step="4" steps="4"/>'
                         '</async-complete></async-result>' % cookie)
        matches = body_of(get(PORT, "/batch?async-id-match-request=1&async-id=alpha")).decode()
        self.assertEqual(matches, "<async-id-matches><async-cookie>%s</async-cookie></async-id-matches>" % cookie)
        status = body_of(get(PORT, "/batch?asyncstatus=1")).decode()
        self.assertTrue(status.startswith('\t<async-results archive="%s" time-now="' % self.archive), status)

        # Maintenance discards the ended worker's record.
        self.assertEqual(status_of(post(PORT, "/batch?maintain=1")), b"HTTP/1.1 200 OK")
        self.assertNotIn("<helper", body_of(get(PORT, "/batch?workerstatus=1")).decode())

        # Bad requests; an unknown id's answer is async_cookie_archive_test's.
        for r in [get(PORT, "/batch?async-id=x"), post(PORT, "/batch?fw_workerupdate=1", b"<nonsense")] + [
                post(PORT, bad) for bad in ("/batch?steps=2", "/batch?job=a&steps=0", "/batch?job=a!b&steps=1",
                                            "/batch?job=a&steps=x", "/batch")]:
            self.assertEqual(status_of(r), b"HTTP/1.1 400 Bad Request", r)

    def test_results_survive_sigterm_and_restart(self):
        # One job complete, one unfinished; the stop through "/shutdown" takes
        # the same way out (test_loop_safety, test_standard_pages).
        p = self.start()
        done = self.start_job("job=done&steps=2&stepms=100")
        self.wait_complete(done)
        slow = self.start_job("job=slow&steps=100&stepms=1000")
        wait_until(lambda: "progress=\"1\"" in self.result(slow), 10, what="slow job's first step")
        started = time.monotonic()
        p.signal(signal.SIGTERM)
        self.assertEqual(p.wait_exit(15), 0)
        # The slow job's worker ends at once when asked.
        self.assertLess(time.monotonic() - started, 5)
        self.assertNotIn("did not respond to exit request", p.stderr())
        saved = harness.read_text(self.archive)
        self.assertTrue("<outside>done</outside>" in saved and "<outside>slow</outside>" in saved, saved)

        self.start()
        self.assertEqual(self.result(done),
                         '<async-result id="%s" ><async-complete><batch-result job="done" step="2" steps="2"/>'
                         '</async-complete></async-result>' % done)
        self.assertRegex(self.result(slow), r'^<async-result id="%s" ><async-inprogress progress="\d+"><batch-progress '
                                            % re.escape(slow))
        # A new cookie never reuses a unique value that was loaded.
        self.assertNotEqual(self.start_job("job=done&steps=1&stepms=10"), done)

    def test_listings_while_jobs_run_and_cookies_age(self):
        p = self.start()
        stop = threading.Event()
        failures, started = [], []

        def reader(path):
            while not stop.is_set():
                if status_of(r := get(PORT, path)) != b"HTTP/1.1 200 OK":
                    failures.append((path, r))

        def starter():
            while not stop.is_set():
                started.append(len(started) + 1)
                for path in ["/batch?job=j%d&steps=3&stepms=20&hold=1&expire=2" % started[-1]] + \
                        ["/batch?maintain=1"] * (started[-1] % 5 == 0):
                    if status_of(r := post(PORT, path)) != b"HTTP/1.1 200 OK":
                        failures.append((path, r))
                time.sleep(0.01)

        threads = [threading.Thread(target=reader, args=(path,)) for path in
                   ("/batch?asyncstatus=1", "/batch?workerstatus=1", "/batch?async-result-request=1&async-id=j1")]
        threads.append(threading.Thread(target=starter))
        for t in threads:
            t.start()
        try:  # until enough jobs ran and completed cookies were aged away after their hold time
            wait_until(lambda: len(started) > 20 and "is beyond hold time" in p.stderr(), 30, what="jobs and ageing")
        finally:
            stop.set()
            for t in threads:
                t.join()
        self.assertEqual(failures, [])
        p.stop()


if __name__ == "__main__":
    harness.main()
