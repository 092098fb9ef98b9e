"""The collector executable: its working directory, single instance, and the
collector configuration file from the system folder or beside the executable."""
import os
import unittest

import harness
from harness import COLLECTOR_PORT, Proc, port_open, read_text, wait_until
from collector_home import CollectorHome

CONFIG = "collectorconfig.xml"


def options_config(keys):
    return ('<section name="commandlineoptions">%s</section>'
            % "".join('<key name="%s" value="%s"/>' % kv for kv in keys))


class CollectorApp(unittest.TestCase):
    def setUp(self):
        # The executable is a copy, not a link: its folder is where /proc/self/exe points.
        self.home = CollectorHome([])
        self.system, self.folder = self.home.system, self.home.home
        os.remove(self.home.path("test.velmora.provider.xml"))  # nothing beside it but the executable
        self.exe, self.start = self.home.exe, lambda args=(): self.home.start(args)

    def tearDown(self):
        self.home.close()

    def write(self, path, text):
        with open(path, "w") as f:
            f.write(text)

    def test_working_directory_and_single_instance(self):
        p = self.start(["-V", "4"])
        p.wait_log("Working Directory is %s\n" % self.folder)
        second = Proc(self.exe, ["-p", "21585", "-c"], env=self.home.env)
        self.home.procs.append(second)
        self.assertEqual(second.wait_exit(), 1)
        self.assertIn("another [Velmora provider collector] is already running", second.stderr())
        second.stop(expect=1)
        p.stop()

    def test_system_copy_wins_over_module_copy(self):
        log = self.home.path("collector.log")
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
        # The first-start file and the master configuration read are the inventory
        # page's, the statistics file the statistics page's; "system" is ours.
        pages = ("started.col", "masterconfig.ruleset.monitor.xml", "collector.stats")
        self.assertEqual(sorted(n for n in os.listdir(self.folder) if not n.startswith(pages)),
                         ["system", "velmora_collector"])
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
