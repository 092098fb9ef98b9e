"""The process frame of every executable: command line, version and usage
texts, exit codes, the log's destinations and single-instance operation."""
import os
import signal
import tempfile
import unittest

import harness
from harness import ALL, Proc, binary, run

USAGE_TAIL = (
    " [options]\n"
    "  -p [port]     Port for sockets phase\n"
    "  -c            Skip stdio phase\n"
    "  -d path       Configuration directory (default is module path)\n"
    "  -v[#]         Display version information\n"
    "  -V#           Verbosity mask\n"
    "  -l [path]     Log file name\n"
    "  -s            Request ready signal\n"
    "  -f            First run flag\n"
    "  -o [cmd]      Single command, stdio mode only\n"
    "  -O [cmd]      Single command, stdio mode only, output file\n"
    "  -z            Prevent idle shutdown\n"
    "  -g            gather provider statistics\n"
    "  -u            disable unique provider locking\n"
    "  -r            heartbeat crash recovery option\n"
    "  -b #          override maximum log size (in kbytes)\n"
    "  -h            This message\n")


class VersionAndUsage(unittest.TestCase):
    # The selectors (-v0, -v1, -v2), the error for a missing argument and
    # the first word as typed are in command_line_test; here the full texts.
    def test_version_and_usage_texts(self):
        rc, out, _ = run("demo_provider", ["-v"])
        self.assertEqual(rc, 1)
        self.assertRegex(out, r"\A9\.50\.0\.1\n.*\n[A-Z][a-z]{2} [ \d]\d \d{4} \d{2}:\d{2}:\d{2}\n\Z")
        self.assertEqual(run("demo_provider", ["-h"])[:2], (1, "usage: " + binary("demo_provider") + USAGE_TAIL))


class StartAndEnd(unittest.TestCase):
    def test_empty_unique_name_needs_u(self):
        env = {"TEST_PROVIDER_NAME": "", "TEST_PROVIDER_INIT": "1"}
        for args, rc, line in ((["-c"], 1, ":Required Provider unique name not set!\n"),
                               (["-c", "-u"], 0, ":Uniqueness not requested\n")):
            got, _, err = run("test_provider", args + ["-V", ALL], env=env)
            self.assertEqual((got, line in err), (rc, True), err)

    def test_failed_initialize_ends_with_zero_and_removes_stale_stats(self):
        prov = harness.own_copy(self, "test_provider", "prov", link=True)
        harness.write_text(prov + ".stats", "old")
        rc, _, err = run(prov, ["-c", "-V", ALL], env={"TEST_PROVIDER_INIT": "7"})
        self.assertEqual((rc, os.path.exists(prov + ".stats")), (0, False))
        self.assertRegex(err, r":App name is \[prov\]\n(.|\n)*:Stats not requested\n(.|\n)*:Shutdown...\n")
        self.assertNotIn("Server started", err)  # the server did not run


class LogDestinations(unittest.TestCase):
    def test_default_mask_and_stderr(self):
        # Default mask 3: nothing of a normal start reaches the log.
        env = {"TEST_PROVIDER_INIT": "1"}
        self.assertEqual(run("test_provider", ["-c"], env=env)[2], "")
        self.assertEqual(run("test_provider", ["-c", "-V", "0"], env=env)[2], "")
        # -l without a name, and a file in a missing folder, log to stderr.
        # A word that begins with "/" is an option word, so an absolute log
        # path is attached to the letter.
        for args in (["-l"], ["-l/nonexistent/dir/x.log"]):
            rc, _, err = run("test_provider", ["-c", "-V", ALL] + args, env=env)
            self.assertEqual((rc, ":App name is [test_provider]\n" in err), (0, True), args)

    def test_file_and_rollover(self):
        with tempfile.TemporaryDirectory() as d:
            log = os.path.join(d, "p.log")
            words = ["word%02d-%s" % (i, "y" * 40) for i in range(40)]
            rc, _, err = run("test_provider", ["-c", "-V", ALL, "-b", "1", "-l" + log] + words,
                             env={"TEST_PROVIDER_INIT": "1"})
            self.assertEqual((rc, err), (0, ""))
            old, new = harness.read_text(log + ".old"), harness.read_text(log)
            # Where the file rolls and that lines stay whole: log_test.
            self.assertEqual((len(old) > 1024, len(new) < 1024 + 200), (True, True))
            self.assertIn("Shutdown...", old + new)  # the last line may itself roll the file


class SingleInstance(unittest.TestCase):
    def test_startup_lines_and_second_instance_refused_until_first_dies(self):
        first = Proc("demo_provider", ["-c", "-V", ALL, "-b", "4", "-p", "0", "-z"])
        try:
            first.wait_log("TCP/IP phase started")
            err = first.stderr()
            prefix = r"\d{4}-\d{2}-\d{2} \d{2,}:\d{2}:\d{1,2}\.\d{6}\(\d+\) :"
            self.assertRegex(err, prefix + r"App name is \[demo_provider\]\n")
            self.assertRegex(err, prefix + r"Verbosity level is ffffffff\n")
            for line in (":Arg:0," + binary("demo_provider"), ":Arg:5,4", ":Arg:7,0", ":Log rollover at 4096"):
                self.assertIn(line + "\n", err)
            self.assertLess(err.index("Unicorn::TheOne acquired unique event"), err.index("Server started"))

            rc, _, err = run("demo_provider", ["-c"])
            self.assertEqual((rc, ":Unicorn::TheOne opened unique event; another [Velmora demo provider] "
                                  "is already running!\n" in err), (1, True))
            with Proc("demo_provider", ["-c", "-u", "-p", "0", "-z", "-V", ALL]) as other:
                other.wait_log("TCP/IP phase started")
                other.signal(signal.SIGTERM)
                self.assertEqual(other.wait_exit(), 0)
            # Another unique name is not affected.
            self.assertEqual(run("test_provider", ["-c"], env={"TEST_PROVIDER_INIT": "1"})[0], 0)
        finally:
            first.stop(kill=True, expect=-signal.SIGKILL)
        # No stale object: a new instance starts at once.
        with Proc("demo_provider", ["-c", "-p", "0", "-z", "-V", ALL]) as again:
            again.wait_log("Unicorn::TheOne acquired unique event")
            again.signal(signal.SIGINT)
            self.assertEqual(again.wait_exit(), 0)


if __name__ == "__main__":
    harness.main()
