"""velmoractl against a real collector, a fake one, a silent one and none;
the install into a prefix, run from there; scripts/run and its Ctrl-C."""
import os
import shutil
import signal
import socket
import subprocess
import tempfile
import time
import unittest

import harness
from harness import BIN, COLLECTOR_PORT, FakeCollector, Proc, port_open, run, wait_until
from collector_home import CollectorHome, proc_table, request

SAMPLES = [("demo_provider", 21601), ("ticker_provider", 21602), ("batch_provider", 21603)]
NAMES = [name for name, _ in SAMPLES]
BUILD = os.path.dirname(os.path.abspath(BIN))
SOURCE = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))


def ctl(*args, timeout=40, bin_dir=BIN):
    return run(os.path.join(bin_dir, "velmoractl"), list(args), timeout=timeout)


def table(text):
    """Rows after the header, keyed by the first field."""
    return {fields[0]: fields for fields in (line.split() for line in text.splitlines()[1:])}


class WithCollector(unittest.TestCase):
    def setUp(self):
        self.home = CollectorHome([(name, name, port) for name, port in SAMPLES], test=self)
        self.c = self.home.start(ready=NAMES)

    def test_commands(self):
        wait_until(lambda: all(self.home.record(name)["lastpid"] for name in NAMES), 10, what="pids reported")
        code, out, err = ctl("status")
        self.assertEqual((code, err), (0, ""))
        self.assertEqual(out.splitlines()[0].split(), ["NAME", "PORT", "STATE", "PID", "RESPONSE"])
        rows = table(out)
        self.assertEqual(sorted(rows), sorted(NAMES))
        for name, port in SAMPLES:
            self.assertEqual(rows[name][1:3] + rows[name][4:], [str(port), "ready", "200"], out)
            self.assertEqual(rows[name][3], self.home.record(name)["lastpid"])
        self.assertEqual(ctl("status", "--xml")[1].encode(), request("GET", "/inventory")[1])

        # Bodies come out byte for byte, streamed; a failure's body too.
        big = subprocess.run([os.path.join(BIN, "velmoractl"), "get", "/demo/big?mb=3"], capture_output=True,
                             timeout=60)
        self.assertEqual(big.returncode, 0, big.stderr)
        self.assertEqual(big.stdout, bytes(k % 251 for k in range(3 << 20)))
        self.assertEqual(ctl("-v", "get", "/demo/hello"),
                         (0, request("GET", "/demo/hello")[1].decode(), "HTTP/1.1 200 OK\n"))
        self.assertEqual(ctl("get", "/demo/code?s=503"),
                         (1, "code 503", "velmoractl: /demo/code?s=503: the collector answered 503\n"))

        # stop and start, each seen in the status table.
        self.assertEqual(ctl("stop", "ticker_provider"), (0, "ticker_provider stopped\n", ""))
        self.assertEqual(table(ctl("status")[1])["ticker_provider"][2], "stopped")
        self.assertEqual(ctl("start", "ticker_provider"), (0, "ticker_provider started\n", ""))
        self.assertEqual(table(ctl("status")[1])["ticker_provider"][2], "ready")
        self.assertEqual(ctl("stop", "nobody"), (1, "", "velmoractl: stop nobody: no provider of that name\n"))

        self.assertEqual(ctl("reload")[0], 0)
        self.c.wait_log("Reconfig kids Cookie found.")
        self.assertEqual(ctl("reload", "--registrations")[0], 0)
        self.c.wait_log("command to reload providers received")

        request("POST", "/extschedule?cmd=addrenew&page=/ticker&cookie=a%20b&delay=600")
        code, out, _ = ctl("schedule")
        self.assertEqual((code, [row[:3] + row[4:] for row in table(out).values()]),
                         (0, [["/ticker", "a_b", "600", "1"]]))

        # shutdown returns once the port is closed, and the collector ends well.
        self.assertEqual(ctl("shutdown"), (0, "", ""))
        self.assertFalse(port_open(COLLECTOR_PORT))
        self.c.wait_exit(5)


class WithoutCollector(unittest.TestCase):
    def test_refused_silent_and_usage(self):
        started = time.monotonic()
        self.assertEqual(ctl("status"), (3, "", "velmoractl: no collector on 127.0.0.1:21584\n"))
        self.assertLess(time.monotonic() - started, 2)
        self.assertEqual(ctl("-p", "21590", "stop", "x")[2], "velmoractl: no collector on 127.0.0.1:21590\n")

        # A port that takes connections (backlog) but never answers.
        with socket.create_server(("127.0.0.1", COLLECTOR_PORT)):
            for args in (["status"], ["get", "/x"], ["shutdown"]):
                started = time.monotonic()
                self.assertEqual(ctl("-t", "1", *args), (3, "", "velmoractl: no collector on 127.0.0.1:21584\n"))
                self.assertLess(time.monotonic() - started, 2.5, args)

        for args in ([], ["status", "x"], ["stop"], ["get", "demo"], ["bogus"], ["-p", "0", "status"],
                     ["-t", "x", "status"], ["--providers", "status"], ["-q", "status"]):
            code, out, err = ctl(*args)
            self.assertEqual((code, out), (2, ""), args)
            self.assertIn("usage: velmoractl", err, args)
        self.assertEqual(ctl("-h")[0:2], (0, ctl("status", "--help")[1]))
        self.assertRegex(ctl("--version")[1], r"^velmoractl \d+\.\d+")

    def test_stats_rows(self):
        doc = ("<collectorstats><forwarded>3</forwarded><providerstats><p name='demo'>2</p></providerstats>"
               "<wakeups>7</wakeups><configname/></collectorstats>")
        with FakeCollector(reply=doc) as fake:
            self.assertEqual(ctl("stats"), (0, "forwarded           3\nproviderstats.demo  2\n"
                                                "wakeups             7\nconfigname          -\n", ""))
            ctl("stats", "--providers")
            self.assertEqual([r["path"] + "?" + r["query"] for r in fake.requests()],
                             ["/collector/stats?", "/collector/stats?providers=1"])
        with FakeCollector(status=404) as fake:
            self.assertEqual(ctl("stats"), (1, "", "velmoractl: /collector/stats: the collector answered 404\n"))


class Install(unittest.TestCase):
    def test_install_and_run_from_prefix(self):
        prefix = tempfile.mkdtemp(prefix="velmora-prefix-")
        self.addCleanup(shutil.rmtree, prefix, True)
        r = subprocess.run(["cmake", "--install", BUILD, "--prefix", prefix], capture_output=True, timeout=120)
        self.assertEqual(r.returncode, 0, r.stderr)
        bin_dir = os.path.join(prefix, "bin")
        self.assertEqual(sorted(os.listdir(bin_dir)), sorted(NAMES + ["velmora_collector", "velmoractl"]))
        unit_path = os.path.join(prefix, "velmora.service")
        with open(unit_path) as f:
            unit = f.read()
        self.assertIn("\nExecStart=%s/bin/velmora_collector -p 21584 -c\n" % prefix, unit)
        self.assertIn("\nReadWritePaths=%s/bin -/etc/velmora\n" % prefix, unit)
        self.assertNotIn("/opt/velmora/", unit)
        if shutil.which("systemd-analyze"):
            r = subprocess.run(["systemd-analyze", "verify", unit_path], capture_output=True, timeout=60)
            self.assertEqual((r.returncode, r.stdout + r.stderr), (0, b""))
        else:
            print("systemd-analyze not found: the unit file is not verified")

        # The samples become active once copied beside the collector.
        shutil.copy(os.path.join(prefix, "samples", "samples.velmora.provider.xml"), bin_dir)
        system = os.path.join(prefix, "system")
        os.mkdir(system)
        with Proc(os.path.join(bin_dir, "velmora_collector"), ["-p", str(COLLECTOR_PORT), "-c"],
                  env={"VELMORA_SYSTEM_CONFIG_DIR": system + "/"}):
            wait_until(lambda: sorted((rows := table(ctl("status", bin_dir=bin_dir)[1]))) == sorted(NAMES) and
                       all(row[2] == "ready" for row in rows.values()), 30, what="installed samples ready")
            self.assertEqual(ctl("get", "/demo/hello", bin_dir=bin_dir)[1],
                             "Hello from the Velmora demo provider\n")
            self.assertEqual(ctl("shutdown", bin_dir=bin_dir)[0], 0)


def family(roots):
    """The processes in the sessions of `roots` and their descendants."""
    procs = proc_table()
    found = {pid for pid, (_, _, sid, _) in procs.items() if sid in roots}
    while grown := {pid for pid, (_, ppid, _, _) in procs.items() if ppid in found} - found:
        found |= grown
    return found


class RunScript(unittest.TestCase):
    def test_ctrl_c_leaves_nothing(self):
        err = self.enterContext(tempfile.TemporaryFile())
        env = dict(os.environ, VELMORA_RUN_NO_BUILD="1", VELMORA_RUN_BUILD_DIR=BUILD)
        # Extra arguments go to the collector, whose log is the script's.
        script = subprocess.Popen([os.path.join(SOURCE, "scripts", "run"), "-V", "0xFFFF"], env=env,
                                  stdout=subprocess.DEVNULL, stderr=err, start_new_session=True)
        try:
            def said(text):
                # pread leaves the offset alone: the file description is
                # shared with the script, and a seek would move its writes.
                return text in os.pread(err.fileno(), 1 << 24, 0)
            wait_until(lambda: said(b"Ctrl-C here stops"), 60, what="scripts/run ready")
            self.assertEqual(sorted(table(ctl("status")[1])), sorted(NAMES))
            # The collector runs in a session of its own, its providers each
            # in theirs: everything below the script's session.
            members = family({script.pid})
            self.assertGreaterEqual(len(members), 5, members)
            os.killpg(script.pid, signal.SIGINT)  # what Ctrl-C in its terminal does
            code = script.wait(40)
            wait_until(lambda: not [p for p in members if os.path.exists("/proc/%d" % p)], 5,
                       what="every process of scripts/run gone")
            self.assertEqual(code, 0)
            self.assertTrue(said(b"Verbosity level is ffff\n") and said(b"All providers have exited"))
        finally:
            if script.poll() is None:
                os.killpg(script.pid, signal.SIGKILL)
                script.wait()


if __name__ == "__main__":
    harness.main()
