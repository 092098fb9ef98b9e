"""The collector's "/metrics": the whole text passes `promtool check
metrics`, it answers fast with 50 registered providers, and its counters
move as requests are routed and a provider is killed, relaunched and
recovered."""
import re
import shutil
import subprocess
import time
import unittest

import harness
from harness import COLLECTOR_PORT, wait_until
from collector_home import CollectorHome, kill_all, request

DEMO = 21601


def scrape():
    """(head, text, {sample name with labels: value})."""
    raw = harness.get(COLLECTOR_PORT, "/metrics")
    assert harness.status_of(raw) == b"HTTP/1.1 200 OK", raw[:200]
    text = harness.body_of(raw).decode()
    samples = dict(re.findall(r"^([a-z_]+(?:\{.*\})?) (\d+)$", text, re.M))
    return raw.split(b"\r\n\r\n", 1)[0], text, {k: int(v) for k, v in samples.items()}


def demo(family, extra=""):
    return 'velmora_provider_%s{provider="demo_provider"%s}' % (family, extra)


class Metrics(unittest.TestCase):
    def test_text_speed_and_counters(self):
        absent = "".join('<file name="absent%d" port="%d"/>' % (i, 22000 + i) for i in range(48))
        home = CollectorHome([("demo_provider", "demo_provider", DEMO)],
                             extra=absent + '<file name="odd&quot;na\\me" port="21999"/>', test=self)
        home.start(ready=["demo_provider"])
        wait_until(lambda: scrape()[2][demo("up")] == 1, what="up")  # once its pid is in
        head, text, m = scrape()
        self.assertIn(b"\r\nContent-Type:text/plain; version=0.0.4\r\n", head + b"\r\n")
        if shutil.which("promtool"):
            check = subprocess.run(["promtool", "check", "metrics"], input=text.encode(), capture_output=True)
            self.assertEqual(check.returncode, 0, check.stdout + check.stderr)
        else:
            print("promtool not installed: the format check is skipped")
        self.assertIn(r'velmora_provider_state{provider="odd\"na\\me",state="loading"} 1', text)
        self.assertEqual(m["velmora_collector_registered_providers"], 50)
        self.assertEqual([m[demo("state", ',state="%s"' % s)] for s in
                          ("loading", "ready", "error", "version_mismatch", "failed")], [0, 1, 0, 0, 0])
        self.assertEqual(m[demo("launches_total")], 1)
        self.assertIn("/metrics", request("GET", "/index")[1].decode())
        best = min(self.timed_scrape() for _ in range(5))
        self.assertLess(best, 0.010)

        for path in ("/demo/hello", "/demo/hello", "/demo/code?s=404"):
            request("GET", path)
        # A request is counted once its answer is written: the client may
        # be quicker.
        ok, missing = demo("requests_total", ',class="2xx"'), demo("requests_total", ',class="4xx"')
        after = wait_until(lambda: (a := scrape()[2])[missing] == 1 and a[ok] - m[ok] == 2 and a,
                           what="two 2xx and one 4xx counted")
        grown = after[demo("routed_bytes_total")] - m[demo("routed_bytes_total")]
        self.assertGreater(grown, 2 * len(request("GET", "/demo/hello", port=DEMO)[1]))
        self.assertGreater(after["velmora_collector_connections_served_total"],
                           m["velmora_collector_connections_served_total"] + 3)

        # Killed: down; relaunched by a routed request; then a recovery.
        kill_all("demo_provider")
        wait_until(lambda: scrape()[2][demo("up")] == 0, what="down")
        self.assertEqual(request("GET", "/demo/hello")[0], 200)
        wait_until(lambda: scrape()[2][demo("up")] == 1, what="up again")
        self.assertEqual(scrape()[2][demo("launches_total")], 2)
        kill_all("demo_provider")
        request("POST", "/heartbeat/monitor?recover=1&target=%d" % DEMO)
        wait_until(lambda: scrape()[2][demo("crash_recoveries_total")] == 1, what="recovery")
        self.assertEqual(scrape()[2][demo("launches_total")], 3)

    def timed_scrape(self):
        started = time.monotonic()
        scrape()
        return time.monotonic() - started


if __name__ == "__main__":
    harness.main()
