"""Heartbeats in real time: a ticker provider that asks for a heartbeat
every minute is relaunched with -r when it hangs (its heartbeat times out
after 30 s and the collector ends it first), and at once on a posted
recover command. A refused heartbeat: services_heartbeat_monitor_test."""
import os
import signal
import time
import unittest

import harness
from harness import wait_until
from collector_home import CollectorHome, cmdline, kill_all, processes, request

TICKER = 21602
OK = "RecoveryLaunch document request ok; recovery probably successful\n"
RECOVER = "/heartbeat/monitor?recover=1&target=%d" % TICKER


class Heartbeat(unittest.TestCase):
    def relaunched(self, old):
        new = wait_until(lambda: [p for p in processes("ticker_provider") if p != old], 30, what="relaunch")
        self.assertEqual(len(new), 1)
        self.assertIn("-r", cmdline(new[0]))
        return new[0]

    def test_hung_provider_ended_and_relaunched(self):
        self.home = CollectorHome([("ticker_provider", "ticker_provider", TICKER)],
                                  env={"VELMORA_TICKER_HEARTBEAT": "1"}, test=self)
        c = self.home.start(ready=["ticker_provider"])
        wait_until(lambda: "SendHeartbeat requested for port %d at 1 minutes" % TICKER in c.stderr(), 20,
                   what="heartbeat registration")
        pid = self.home.pid("ticker_provider")
        os.kill(pid, signal.SIGSTOP)
        sent = "HeartbeatMonitorPage::MonitorNow matches port %d to provider ticker_provider" % TICKER
        wait_until(lambda: sent in c.stderr(), 90, what="heartbeat sent")
        at = time.monotonic()
        wait_until(lambda: "Heartbeat request to ticker_provider failed!\n" in c.stderr(), 45, what="time-out")
        self.assertGreater(time.monotonic() - at, 25)
        wait_until(lambda: OK in c.stderr(), 45, what="recovery")
        self.assertIn("Hung provider ticker_provider (pid %d) ended" % pid, c.stderr())
        self.assertFalse(os.path.exists("/proc/%d" % pid))  # reaped
        pid = self.relaunched(pid)
        self.assertEqual(request("GET", "/ticker")[0], 200)
        # Posted by hand: a live provider only answers; a dead one comes back
        # at once.
        self.assertEqual(request("POST", RECOVER)[0], 200)
        wait_until(lambda: c.stderr().count(OK) == 2, 20, what="second recovery")
        self.assertEqual(processes("ticker_provider"), [pid])
        kill_all("ticker_provider")
        self.assertEqual(request("POST", RECOVER)[0], 200)
        self.relaunched(pid)
        wait_until(lambda: c.stderr().count(OK) == 3, 20, what="third recovery")
        self.assertIn(b'<recovery-attempt file="ticker_provider" count="3"/>',
                      request("GET", "/heartbeat/monitor")[1])


if __name__ == "__main__":
    harness.main()
