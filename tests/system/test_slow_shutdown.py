"""The collector's stop in real time: a provider that never answers its
shutdown request is killed by the final timer; scripts/run's Ctrl-C stops
the collector and every provider it launched."""
import os
import shutil
import signal
import subprocess
import tempfile
import time
import unittest

import harness
from harness import wait_until
from collector_home import kill_all, processes
from test_shutdown import SAMPLES, gone, start_samples

REPO = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")


class FinalTimer(unittest.TestCase):
    def setUp(self):
        start_samples(self)

    def tearDown(self):
        self.home.close()

    def test_stopped_provider_is_killed(self):
        c, ticker = self.c, self.pids["ticker_provider"]
        os.kill(ticker, signal.SIGSTOP)
        start = time.monotonic()
        c.signal(signal.SIGTERM)
        c.wait_log("Final shutdown timer expired; terminating unresponsive providers", 20)
        self.assertTrue(14 < time.monotonic() - start < 18)
        c.wait_exit(5)
        log = c.stderr()
        c.stop(expect=0)
        self.assertIn("Final shutdown timer expired; shutting down now.", log)
        self.assertNotIn("All providers have exited", log)
        self.assertTrue(gone(ticker))
        self.assertTrue(all(gone(pid) for pid in self.pids.values()))


class RunScript(unittest.TestCase):
    def test_ctrl_c_stops_everything(self):
        build = os.path.dirname(os.path.abspath(harness.BIN))
        env = dict(os.environ, VELMORA_RUN_BUILD_DIR=build, JOBS="1")
        err = open(os.path.join(tempfile.mkdtemp(prefix="velmora-run-"), "stderr"), "wb")
        script = subprocess.Popen([os.path.join(REPO, "scripts", "run"), "-V", "0xFFFF"], cwd=REPO, env=env,
                                  stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=err,
                                  start_new_session=True)
        try:
            wait_until(lambda: "with the samples ready" in harness.read_text(err.name), 120, 0.1,
                       what="samples ready")
            pids = [p for n, _ in SAMPLES for p in processes(n)] + processes("velmora_collector")
            self.assertEqual(len(pids), 4)
            os.killpg(script.pid, signal.SIGINT)  # what Ctrl-C in its terminal does
            self.assertEqual(script.wait(20), 0)
            for pid in pids:
                wait_until(lambda: gone(pid), 5, what="pid %d gone" % pid)
            self.assertIn("All providers have exited", harness.read_text(err.name))
        finally:
            if script.poll() is None:
                os.killpg(script.pid, signal.SIGKILL)
                script.wait()
            for name in [n for n, _ in SAMPLES] + ["velmora_collector"]:
                kill_all(name)
            err.close()
            shutil.rmtree(os.path.dirname(err.name), ignore_errors=True)


if __name__ == "__main__":
    harness.main()
