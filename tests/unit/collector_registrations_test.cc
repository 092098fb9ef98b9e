// Provider registration files and the collector configuration file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "collector/collector_config.h"
#include "collector/registrations.h"
#include "runtime/log.h"
#include "runtime/monitor_server.h"
#include "runtime/process_globals.h"
#include "tests/support/log_to_temp_dir.h"

namespace {

LogToTempDir* logDir = AddLogToTempDir("velmora-registrations-");

class Folder : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(chdir(logDir->TestDir().c_str()), 0); }
  static std::string Startup(const std::string& files) {
    return "<?xml version=\"1.0\"?><startup><execute><provider>" + files + "</provider></execute></startup>";
  }
};

TEST_F(Folder, PortsCodesAndBothPatterns) {
  for (const char* exe : {"a", "b", "c", "blocked", "late", "zero", "high", "d"}) WriteFile(exe, "");
  WriteFile("velmora.provider.collector.startup.xml",
        Startup("<file name=\"a\" port=\"5000\" stats=\"0\"/><file name=\"missing\" port=\"5001\"/>"
                "<file name=\"blocked\" port=\"5002\"/><file name=\"late\" port=\"5002\" stats=\"2\"/>"
                "<file name=\"zero\" port=\"0\"/><file name=\"high\" port=\"70000\"/><file port=\"5009\"/>"));
  WriteFile("x.velmora.provider.xml", Startup("<file name=\"b\" port=\"5000\"/>"));
  WriteFile("Y.OEM.xml", Startup("<file name=\"c\" port=\"5003\" noidle=\"1\"/>"));
  WriteFile("d.oem.xml.bak", Startup("<file name=\"d\" port=\"5004\"/>"));
  CollectorOptions options;
  options.overrides["blocked"].block = true;
  RegistrationMap map;
  ConfigFileStatus status;
  LoadAllRegistrations(options, &map, &status);

  ASSERT_EQ(map.count(5000), 1u);
  EXPECT_EQ(map[5000].name, "a");
  EXPECT_FALSE(map[5000].stats);
  EXPECT_EQ(map[5002].name, "late");  // a blocked entry reserves nothing
  EXPECT_TRUE(map[5002].stats);
  EXPECT_TRUE(map[5003].noidle);
  EXPECT_EQ(map[5003].origin, "Y.OEM.xml");
  EXPECT_EQ(map.count(5001) + map.count(5004), 0u);
  // Rejections, in the order met, under keys apart from every port.
  std::vector<std::pair<std::string, uint32_t>> rejected;
  for (auto& [key, r] : map)
    if (key > kRejectedKeyBase) rejected.emplace_back(r.name, r.loadCode);
  std::vector<std::pair<std::string, uint32_t>> expected = {
      {"missing", 2}, {"blocked", 3}, {"zero", 1}, {"high", 1}, {"b", 1}};
  EXPECT_EQ(rejected, expected);
  EXPECT_EQ(map.size(), 3u + expected.size());
  EXPECT_TRUE(logDir->Logged("Provider b requests port 5000 already reserved for a\n"));
  EXPECT_TRUE(logDir->Logged("Provider executable not found (missing)\n"));
  EXPECT_EQ(status, (ConfigFileStatus{{"velmora.provider.collector.startup.xml", 0},
                                      {"x.velmora.provider.xml", 0},
                                      {"Y.OEM.xml", 0}}));
}

TEST_F(Folder, MalformedFilesAndLogAll) {
  WriteFile("p", "");
  WriteFile("q", "");
  const std::string direct = "<startup><provider><file name=\"q\" port=\"6001\"/></provider></startup>";
  WriteFile("velmora.provider.collector.startup.xml", direct);
  WriteFile("oem.provider.collector.startup.xml", "<startup><execute>");
  WriteFile("m.velmora.provider.xml",
        Startup("<file name=\"p\" port=\"6000\" logto=\"own.log\" verbosity=\"3\"/><other name=\"q\" port=\"6002\"/>"));
  CollectorOptions options;
  options.logAll = "1";
  options.overrides["p"].logto = "override.log";
  options.overrides["p"].logsize = "5";
  RegistrationMap map;
  ConfigFileStatus status;
  status["stale"] = 0;
  LoadAllRegistrations(options, &map, &status);

  EXPECT_EQ(status, (ConfigFileStatus{{"velmora.provider.collector.startup.xml", 1},
                                      {"oem.provider.collector.startup.xml", 1},
                                      {"m.velmora.provider.xml", 0}}));
  EXPECT_TRUE(logDir->Logged("Config file velmora.provider.collector.startup.xml is malformed and will not be used\n"));
  EXPECT_EQ(ReadFile("velmora.provider.collector.startup.xml"), direct);
  ASSERT_EQ(map.size(), 1u);
  EXPECT_EQ(map[6000].logto, "p.log");
  EXPECT_EQ(map[6000].logsize, "1000000");
  EXPECT_EQ(map[6000].verbosity, kLogAllVerbosity);
  EXPECT_TRUE(logDir->Logged("Collector Option logall; logging to (p.log) at level 32767\n"));
}

// Options replace the command line's; the placement of the file (system
// folder first, empty copies deleted, broken copies kept) is a system test.
TEST_F(Folder, CollectorConfigOptionsAndOverrides) {
  uint32_t mask = VerbosityMask();
  WriteFile("sys/collectorconfig.xml",
        "<section name=\"commandlineoptions\"><key name=\"V\" value=\"0x10016\"/><key name=\"l\" value=\"c.log\"/>"
        "<key name=\"b\" value=\"010\"/><key name=\"g\" value=\"2\"/><key name=\"noheartbeat\" value=\"1\"/>"
        "<key name=\"logallproviders\" value=\"yes\"/></section><section name=\"provideroverride\">"
        "<section name=\"p\"><key name=\"logto\" value=\"o.log\"/><key name=\"block\" value=\"1\"/></section>"
        "<section name=\"q\"><key name=\"block\" value=\"0\"/></section></section>");
  EXPECT_EQ(ReadCollectorConfig("sys/", "mod/"), 0);
  EXPECT_EQ(VerbosityMask(), 0x16u);  // cut to 16 bits
  SetVerbosityMask(mask);
  EXPECT_STREQ(Globals().logFileName, "c.log");
  EXPECT_EQ(Globals().logSizeLimit, 8u * 1024u);  // octal
  EXPECT_TRUE(TheServer().options.gatherStats);
  const CollectorOptions& options = TheCollectorOptions();
  EXPECT_FALSE(options.heartbeatsEnabled);
  EXPECT_EQ(options.logAll, "yes");
  ASSERT_EQ(options.overrides.size(), 2u);
  EXPECT_TRUE(options.overrides.at("p").block);
  EXPECT_EQ(options.overrides.at("p").logto, "o.log");
  EXPECT_FALSE(options.overrides.at("q").block);
  TheServer().options.gatherStats = false;
  Globals().logFileName[0] = '\0';
  Globals().logSizeLimit = 0;
}

}  // namespace
