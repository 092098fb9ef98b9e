"""The collector executable: its working directory, single instance, and the
collector configuration file from the system folder or beside the executable."""
import os
import unittest

import harness
from harness import COLLECTOR_PORT, Proc, port_open, read_text, wait_until, write_text
from collector_home import CollectorHome

CONFIG = "collectorconfig.xml"


def options_config(keys):
    return ('<section name="commandlineoptions">%s</section>'
            % "".join('<key name="%s" value="%s"/>' % kv for kv in keys))


class CollectorApp(unittest.TestCase):
    def setUp(self):
        # The executable is a copy, not a link: its folder is where /proc/self/exe points.
        self.home = CollectorHome([], test=self)
        self.system, self.folder = self.home.system, self.home.home
        # The copy in the system folder and the one beside the executable.
        self.sys_config, self.mod_config = os.path.join(self.system, CONFIG), self.home.path(CONFIG)
        os.remove(self.home.path("test.velmora.provider.xml"))  # nothing beside it but the executable
        self.exe, self.start = self.home.exe, lambda args=(): self.home.start(args)

    def test_system_copy_wins_over_module_copy(self):
        log = self.home.path("collector.log")
        write_text(self.sys_config, options_config([("V", "0x10"), ("l", log)]))
        write_text(self.mod_config, "")  # an empty copy that is opened is deleted
        p = self.start(["-V", "0xFFFF"])
        wait_until(lambda: "Verbosity level is 0010\n" in read_text(log), what="the configured log")
        self.assertEqual(p.stderr(), "")
        self.assertTrue(os.path.exists(self.mod_config))  # never opened
        p.stop()

    def test_empty_missing_and_broken_copies_and_one_instance(self):
        write_text(self.sys_config, "")
        write_text(self.mod_config, options_config([("V", "0x16")]))
        p = self.start()
        p.wait_log("Collector configuration read from %s\n" % self.mod_config)
        self.assertFalse(os.path.exists(self.sys_config))
        self.assertIn("Verbosity level is 0016\n", p.stderr())
        p.stop()

        os.remove(self.mod_config)
        p = self.start(["-V", "0xFFFF"])
        p.wait_log("No collector configuration found; command-line options in effect\n")
        p.wait_log("Working Directory is %s\n" % self.folder)
        second = Proc(self.exe, ["-p", "21585", "-c"], env=self.home.env)
        self.home.procs.append(second)
        self.assertEqual(second.wait_exit(), 1)
        self.assertIn("another [Velmora provider collector] is already running", second.stderr())
        second.stop(expect=1)
        self.assertEqual(sorted(os.listdir(self.system)), [])
        # The first-start file and the master configuration read are the inventory
        # page's, the statistics file the statistics page's; "system" is ours.
        pages = ("started.col", "masterconfig.ruleset.monitor.xml", "collector.stats")
        self.assertEqual(sorted(n for n in os.listdir(self.folder) if not n.startswith(pages)),
                         ["system", "velmora_collector"])
        p.stop()

        broken = b'<section name="commandlineoptions"><key name="V" value="0x10"/>\r\n'
        write_text(self.sys_config, broken)
        write_text(self.mod_config, "")
        p = self.start()
        p.wait_log("Collector configuration %s does not parse; no options or overrides applied\n" % self.sys_config)
        self.assertTrue(port_open(COLLECTOR_PORT))
        self.assertEqual(read_text(self.sys_config), broken.decode())
        self.assertTrue(os.path.exists(self.mod_config))  # the next place is not tried
        p.stop()


if __name__ == "__main__":
    harness.main()
