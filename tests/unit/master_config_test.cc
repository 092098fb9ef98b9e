// The master configuration's getters and validation, and the server's shared
// copy and ruleset object around walks over the pages.
#include "xml/master_config.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <thread>

#include "pages/master_config_cache.h"
#include "pages/monitor_page.h"
#include "runtime/config_walk.h"
#include "runtime/monitor_server.h"
#include "runtime/process_globals.h"
#include "tests/support/log_to_temp_dir.h"

namespace {

namespace fs = std::filesystem;

LogToTempDir* g_log = AddLogToTempDir("master_config_test.");

constexpr char kMaster[] =
    "<masterconfig>\n"
    " <identity><name value=\"base\"/><displayName value=\"Base &amp; more\"/><time value=\"t1\"/>"
    "<static value=\"12abc\"/></identity>\n"
    " <monitoring-classes><disk><interval value=\"300\"/><enabled value=\"1\"/>"
    "<warningThreshold value=\"80\"/><criticalThreshold value=\"95\"/>"
    "<serviceName0 value=\"s0\"/><serviceName2 value=\"s2\"/><os-log-filter0 value=\"f0\"/></disk>"
    "<cpu><enabled value=\"0\"/></cpu></monitoring-classes>\n"
    "</masterconfig>\n";

bool ModifiedOf(const std::string& text, bool* modified) {
  Configuration config;
  return config.ParseText(text) && MasterConfigModified(config, modified);
}

TEST(MasterConfigTest, GettersReadValuesAndAnswerFalseWhenAbsent) {
  Configuration config;
  ASSERT_TRUE(config.ParseText(kMaster));
  std::string t[5];
  unsigned long n[4] = {};
  bool on = false, off = true;
  EXPECT_TRUE(MasterConfigName(config, &t[0]) && MasterConfigDisplayName(config, &t[1]) &&
              MasterConfigTime(config, &t[2]) && MasterConfigClassServiceName(config, "disk", 2, &t[3]) &&
              MasterConfigClassOsLogFilter(config, "disk", 0, &t[4]) && MasterConfigStatic(config, &n[0]) &&
              MasterConfigClassInterval(config, "disk", &n[1]) &&
              MasterConfigClassWarningThreshold(config, "disk", &n[2]) &&
              MasterConfigClassCriticalThreshold(config, "disk", &n[3]) &&
              MasterConfigClassEnabled(config, "disk", &on) && MasterConfigClassEnabled(config, "cpu", &off));
  EXPECT_EQ(std::vector<std::string>(t, t + 5), (std::vector<std::string>{"base", "Base & more", "t1", "s2", "f0"}));
  EXPECT_EQ(std::vector<unsigned long>(n, n + 4), (std::vector<unsigned long>{12, 300, 80, 95}));
  EXPECT_TRUE(on && !off);
  // A gap in the numbering is simply absent; absent values stay untouched.
  std::string text = "kept";
  unsigned long number = 77;
  bool flag = true;
  EXPECT_FALSE(MasterConfigClassServiceName(config, "disk", 1, &text) ||
               MasterConfigClassInterval(config, "cpu", &number) ||
               MasterConfigClassInterval(config, "memory", &number));
  EXPECT_EQ(text + std::to_string(number), "kept77");
  // No document at all: every getter answers false.
  Configuration empty;
  EXPECT_FALSE(MasterConfigName(empty, &text));
  EXPECT_FALSE(MasterConfigModified(empty, &flag));
}

TEST(MasterConfigTest, ModifiedFlagAndValidation) {
  bool modified = true;
  EXPECT_TRUE(ModifiedOf(kMaster, &modified) && !modified);
  EXPECT_TRUE(ModifiedOf("<m><identity><modified value=\"0\"/></identity></m>", &modified) && !modified);
  EXPECT_TRUE(ModifiedOf("<m><identity><modified value=\"7\"/></identity></m>", &modified) && modified);
  EXPECT_FALSE(ModifiedOf("<m><other/></m>", &modified));

  Configuration config;
  config.ParseText("<m><identity><modified value=\"0\"/></identity></m>");
  ASSERT_TRUE(SetMasterConfigModified(&config));
  EXPECT_TRUE(MasterConfigModified(config, &modified) && modified);
  Configuration borrowed;
  borrowed.Borrow(config.GetRoot());
  EXPECT_FALSE(SetMasterConfigModified(&borrowed));

  EXPECT_TRUE(ValidateMasterConfigText(kMaster));
  for (const char* bad : {"<m><identity><name value=\"x\"/></identity></m>",
                          "<m><identity><time value=\"x\"/></identity></m>",
                          "<m><identity><name value=\"x\"/><time/></identity></m>", "<m><identity>", ""})
    EXPECT_FALSE(ValidateMasterConfigText(bad)) << bad;
}

class MasterConfigFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = g_log->TestDir();
    Globals().moduleDirectory = dir_.string() + "/";
    setenv("VELMORA_AGENT_ROOT", dir_.c_str(), 1);
  }
  void TearDown() override {
    TheServer().caches.configBusy = false;
    EndConfigWalk();
  }
  fs::path dir_;
};

TEST_F(MasterConfigFileTest, OpenForUpdateSavesAndWholeTextReads) {
  std::string text = "stale";
  EXPECT_FALSE(ReadMasterConfigText(dir_.string(), &text));
  EXPECT_EQ(text, "");
  WriteFile(dir_ / kMasterConfigFileName, kMaster);
  {
    std::unique_ptr<ConfigurationFile> config = OpenMasterConfig(dir_.string(), true);
    ASSERT_TRUE(config->IsOpenForWrite());
    ASSERT_TRUE(SetMasterConfigModified(config.get()));
    ASSERT_TRUE(config->SaveCompact());
  }
  ASSERT_TRUE(ReadMasterConfigText(dir_.string(), &text));
  EXPECT_TRUE(ValidateMasterConfigText(text));
  bool modified = false;
  EXPECT_TRUE(MasterConfigModified(*OpenMasterConfig(dir_.string(), false), &modified) && modified);
}

TEST_F(MasterConfigFileTest, PagesShareOneParseOnlyDuringAWalk) {
  WriteFile(dir_ / kMasterConfigFileName, kMaster);
  std::string log = g_log->LogText();
  std::unique_ptr<ConfigurationFile> outside = MonitorPage::LoadMasterConfig(false, false);
  EXPECT_EQ(TheServer().caches.masterConfigCache, nullptr);

  BeginConfigWalk();
  std::unique_ptr<ConfigurationFile> first = MonitorPage::LoadMasterConfig(false, false);
  std::unique_ptr<ConfigurationFile> second = MonitorPage::LoadMasterConfig(false, false);
  std::unique_ptr<ConfigurationFile> own = MonitorPage::LoadMasterConfig(false, true);
  ASSERT_NE(first->GetRoot(), nullptr);
  EXPECT_TRUE(first->GetRoot() == second->GetRoot() && first->IsBorrowed());
  EXPECT_TRUE(own->GetRoot() != first->GetRoot() && outside->GetRoot() != first->GetRoot());
  std::string name;
  EXPECT_TRUE(MasterConfigName(*second, &name) && name == "base");
  // Another thread (a page answering a request meanwhile) reads its own
  // copy and leaves the walk's copy alone.
  std::unique_ptr<ConfigurationFile> session;
  std::thread([&] {
    session = MonitorPage::LoadMasterConfig(false, false);
    MonitorPage::LoadMasterConfig(true, false);
  }).join();
  EXPECT_TRUE(!session->IsBorrowed() && session->GetRoot() != nullptr);
  EXPECT_NE(TheServer().caches.masterConfigCache, nullptr);
  first.reset(), second.reset();
  // An update drops the shared copy: the next reader parses again.
  std::unique_ptr<ConfigurationFile> update = MonitorPage::LoadMasterConfig(true, false);
  EXPECT_EQ(TheServer().caches.masterConfigCache, nullptr);
  EXPECT_TRUE(update->IsOpenForWrite());
  update.reset();
  MonitorPage::LoadMasterConfig(false, false).reset();
  EndConfigWalk();
  EXPECT_EQ(TheServer().caches.masterConfigCache, nullptr);

  log = g_log->LogText().substr(log.size());
  EXPECT_EQ(Count(log, "Loading MasterConfig Cache\n"), 2u);
  EXPECT_EQ(Count(log, "Returning shared copy of master configuration TEST-MASTERCONFIGSHARED\n"), 3u);
  EXPECT_EQ(Count(log, "Reading master configuration TEST-MASTERCONFIGNOTSHARED\n"), 5u);
  EXPECT_EQ(Count(log, "MonitorServer::GetCachedMasterConfig; no cached copy available\n"), 2u);
}

TEST_F(MasterConfigFileTest, RulesetObjectIsKeptUntilAWalkEnds) {
  const std::string ruleset =
      "<ruleset managed=\"1\"><alert_configs><alert_id name=\"a\">"
      "<alert_config monid=\"m\" name=\"n\"/></alert_id></alert_configs></ruleset>";
  WriteFile(dir_ / "qrsroot" / "alert" / "one.ruleset.xml", ruleset);
  auto found = [] {
    AlertConfigCollection configs;
    GetAlertConfigs("a", &configs);
    return configs.Size();
  };
  EXPECT_EQ(found(), 1u);
  // A file added later is not seen while the parser is kept...
  WriteFile(dir_ / "qrsroot" / "alert" / "two.ruleset.xml", ruleset);
  EXPECT_EQ(found(), 1u);
  // ...not even when released in the middle of a walk...
  BeginConfigWalk();
  ReleaseRulesetCache();
  EXPECT_NE(TheServer().caches.rulesetCache, nullptr);
  // ...but after the walk's end the rulesets are read again.
  EndConfigWalk();
  EXPECT_EQ(TheServer().caches.rulesetCache, nullptr);
  EXPECT_EQ(found(), 2u);
}

}  // namespace
