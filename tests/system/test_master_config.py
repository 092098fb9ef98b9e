"""The master configuration read by a provider's pages during a
reconfiguration: the pages share one parse, released at the walk's end
(master_config_test shows a released copy is read again)."""
import os
import shutil
import signal
import tempfile
import unittest

import harness
from harness import ALL, binary, start_provider, wait_until

MASTER = ('<masterconfig><identity><name value="first"/><time value="t"/></identity>'
          '<monitoring-classes/></masterconfig>')


class MasterConfigShared(unittest.TestCase):
    def test_sighup_pages_share_one_parse(self):
        # The master configuration lives beside the executable.
        folder = tempfile.mkdtemp(prefix="velmora-master-")
        self.addCleanup(shutil.rmtree, folder, True)
        exe = os.path.join(folder, "test_provider")
        shutil.copy(binary("test_provider"), exe)
        master = os.path.join(folder, "masterconfig.ruleset.monitor.xml")
        with open(master, "w") as f:
            f.write(MASTER)
        with start_provider(exe, ["-c", "-z", "-u", "-V", ALL], env={"TEST_PROVIDER_MASTERCONFIG": "1"}) as p:
            p.signal(signal.SIGHUP)
            p.wait_log("ConfigPage::Reconfig /config/two reads first\n")
            log = p.stderr()
            self.assertIn("ConfigPage::Reconfig /config/one reads first\n", log)
            self.assertEqual([log.count(t) for t in ("Loading MasterConfig Cache\n", "TEST-MASTERCONFIGSHARED",
                                                     "TEST-MASTERCONFIGNOTSHARED")], [1, 2, 0])
            two = log.index("ConfigPage::Reconfig /config/two")
            wait_until(lambda: "Releasing MasterConfig Cache\n" in p.stderr()[two:], what="release")


if __name__ == "__main__":
    harness.main()
