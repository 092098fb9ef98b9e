"""A provider that ends at once whenever it is launched: the collector gives
up on it after five failed launches, answers its pages 503 at once, shows it
"failed", and tries again after a start by hand."""
import os
import time
import unittest

import harness
from harness import wait_until
from collector_home import CollectorHome, kill_all, request

FLAKY = 21601
LAUNCH = "Attempt to start with filename(./flaky_provider)"
GIVE_UP = "Provider flaky_provider relaunched too often; giving up until started by hand\n"


class RelaunchLimit(unittest.TestCase):
    def test_gives_up_after_five_failed_launches(self):
        self.home = CollectorHome([("flaky_provider", "demo_provider", FLAKY)], test=self)
        c = self.home.start(ready=["flaky_provider"])
        self.assertEqual(request("GET", "/demo/hello")[0], 200)
        working = self.home.path("flaky_provider.working")
        os.rename(self.home.path("flaky_provider"), working)
        self.home.write("flaky_provider", "#!/bin/sh\nexit 1\n")
        os.chmod(self.home.path("flaky_provider"), 0o755)
        kill_all("flaky_provider")
        started = time.monotonic()
        wait_until(lambda: request("GET", "/demo/hello")[0] == 503 and GIVE_UP in c.stderr(), 50,
                   what="given up")
        self.assertLess(time.monotonic() - started, 60)
        self.assertEqual(c.stderr().count(LAUNCH), 6)  # the first start, then five failures
        self.assertEqual(self.home.record("flaky_provider")["state"], "failed")
        metrics = request("GET", "/metrics")[1].decode()
        self.assertIn('velmora_provider_state{provider="flaky_provider",state="failed"} 1\n', metrics)
        self.assertIn("velmora_collector_relaunch_limit_trips_total 1\n", metrics)
        t = time.monotonic()
        self.assertEqual(request("GET", "/demo/hello")[0], 503)
        self.assertLess(time.monotonic() - t, 1)
        self.assertEqual(c.stderr().count(LAUNCH), 6)

        os.replace(working, self.home.path("flaky_provider"))
        self.assertEqual(request("POST", "/providercontrol?name=flaky_provider&cmd=start")[0], 200)
        self.assertEqual(request("GET", "/demo/hello")[0], 200)
        self.assertEqual(self.home.record("flaky_provider")["state"], "ready")
        self.assertEqual(c.stderr().count(GIVE_UP), 1)


if __name__ == "__main__":
    harness.main()
