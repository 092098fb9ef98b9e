"""The collector executable: its working directory, single instance, and the
collector configuration file from the system folder or beside the executable."""
import os
import shutil
import tempfile
import unittest

import harness
from harness import COLLECTOR_PORT, Proc, binary, port_open, read_text, wait_until
CONFIG = "collectorconfig.xml"


def options_config(keys):
    return ('<section name="commandlineoptions">%s</section>'
            % "".join('<key name="%s" value="%s"/>' % kv for kv in keys))


class CollectorApp(unittest.TestCase):
    def setUp(self):
        # Copied, not linked: the folder is where /proc/self/exe points.
        self.home = tempfile.mkdtemp(prefix="velmora-collector-")
        self.system = os.path.join(self.home, "system")
        self.folder = os.path.join(self.home, "bin")
        for d in (self.system, self.folder):
            os.makedirs(d)
        self.exe = os.path.join(self.folder, "velmora_collector")
        shutil.copy(binary("velmora_collector"), self.exe)
        self.procs = []

    def tearDown(self):
        for p in self.procs:
            p.stop()
        shutil.rmtree(self.home, ignore_errors=True)

    def start(self, args=()):
        p = Proc(self.exe, ["-p", str(COLLECTOR_PORT), "-c"] + list(args),
                 env={"VELMORA_SYSTEM_CONFIG_DIR": self.system + "/"})
        self.procs.append(p)
        wait_until(lambda: port_open(COLLECTOR_PORT) or not p.running(), 10, what="collector port")
        self.assertTrue(p.running(), p.stderr())
        return p

    def write(self, path, text):
        with open(path, "w") as f:
            f.write(text)

    def test_working_directory_and_single_instance(self):
        p = self.start(["-V", "4"])
        p.wait_log("Working Directory is %s\n" % self.folder)
        second = Proc(self.exe, ["-p", "21585", "-c"], env={"VELMORA_SYSTEM_CONFIG_DIR": self.system + "/"})
        self.procs.append(second)
        self.assertEqual(second.wait_exit(), 1)
        self.assertIn("another [Velmora provider collector] is already running", second.stderr())
        second.stop(expect=1)
        p.stop()

    def test_system_copy_wins_over_module_copy(self):
        log = os.path.join(self.home, "collector.log")
        self.write(os.path.join(self.system, CONFIG), options_config([("V", "0x10"), ("l", log)]))
        self.write(os.path.join(self.folder, CONFIG), "")  # an empty copy that is opened is deleted
        p = self.start(["-V", "0xFFFF"])
        wait_until(lambda: "Verbosity level is 0010\n" in read_text(log), what="the configured log")
        self.assertEqual(p.stderr(), "")
        self.assertTrue(os.path.exists(os.path.join(self.folder, CONFIG)))  # never opened
        p.stop()

    def test_empty_missing_and_broken_copies(self):
        self.write(os.path.join(self.system, CONFIG), "")
        self.write(os.path.join(self.folder, CONFIG), options_config([("V", "0x16")]))
        p = self.start()
        p.wait_log("Collector configuration read from %s/%s\n" % (self.folder, CONFIG))
        self.assertFalse(os.path.exists(os.path.join(self.system, CONFIG)))
        self.assertIn("Verbosity level is 0016\n", p.stderr())
        p.stop()

        os.remove(os.path.join(self.folder, CONFIG))
        p = self.start()
        p.wait_log("No collector configuration found; command-line options in effect\n")
        self.assertEqual(sorted(os.listdir(self.system)), [])
        # The first-start file is the inventory page's (emptied at start).
        self.assertEqual(sorted(n for n in os.listdir(self.folder) if not n.startswith("started.col")),
                         ["velmora_collector"])
        p.stop()

        broken = b'<section name="commandlineoptions"><key name="V" value="0x10"/>\r\n'
        with open(os.path.join(self.system, CONFIG), "wb") as f:
            f.write(broken)
        self.write(os.path.join(self.folder, CONFIG), "")
        p = self.start()
        p.wait_log("Collector configuration %s/%s does not parse; no options or overrides applied\n"
                   % (self.system, CONFIG))
        self.assertTrue(port_open(COLLECTOR_PORT))
        with open(os.path.join(self.system, CONFIG), "rb") as f:
            self.assertEqual(f.read(), broken)
        self.assertTrue(os.path.exists(os.path.join(self.folder, CONFIG)))  # the next place is not tried
        p.stop()


if __name__ == "__main__":
    harness.main()
