// The master configuration's getters and validation, and the server's shared
// copy and ruleset object around walks over the pages.
#include "xml/master_config.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "pages/master_config_cache.h"
#include "pages/monitor_page.h"
#include "runtime/config_walk.h"
#include "runtime/monitor_server.h"
#include "runtime/process_globals.h"
#include "tests/support/log_to_temp_dir.h"

namespace {

namespace fs = std::filesystem;

LogToTempDir* g_log = static_cast<LogToTempDir*>(
    ::testing::AddGlobalTestEnvironment(new LogToTempDir("master_config_test.")));

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

void Write(const fs::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST(MasterConfigTest, GettersReadValuesAndAnswerFalseWhenAbsent) {
  Configuration config;
  ASSERT_TRUE(config.ParseText(kMaster));
  std::string text;
  unsigned long number = 77;
  bool flag = true;
  EXPECT_TRUE(MasterConfigName(config, &text) && text == "base");
  EXPECT_TRUE(MasterConfigDisplayName(config, &text) && text == "Base & more");
  EXPECT_TRUE(MasterConfigTime(config, &text) && text == "t1");
  EXPECT_TRUE(MasterConfigStatic(config, &number) && number == 12);
  EXPECT_TRUE(MasterConfigClassInterval(config, "disk", &number) && number == 300);
  EXPECT_TRUE(MasterConfigClassWarningThreshold(config, "disk", &number) && number == 80);
  EXPECT_TRUE(MasterConfigClassCriticalThreshold(config, "disk", &number) && number == 95);
  EXPECT_TRUE(MasterConfigClassEnabled(config, "disk", &flag) && flag);
  EXPECT_TRUE(MasterConfigClassEnabled(config, "cpu", &flag) && !flag);
  EXPECT_TRUE(MasterConfigClassServiceName(config, "disk", 2, &text) && text == "s2");
  EXPECT_TRUE(MasterConfigClassOsLogFilter(config, "disk", 0, &text) && text == "f0");
  // A gap in the numbering is simply absent; absent numbers stay untouched.
  text = "kept";
  EXPECT_FALSE(MasterConfigClassServiceName(config, "disk", 1, &text));
  EXPECT_EQ(text, "kept");
  number = 77;
  EXPECT_FALSE(MasterConfigClassInterval(config, "cpu", &number));
  EXPECT_FALSE(MasterConfigClassInterval(config, "memory", &number));
  EXPECT_EQ(number, 77u);
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
    dir_ = fs::path(g_log->Dir()) / ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::create_directories(dir_ / "qrsroot" / "alert");
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
  Write(dir_ / kMasterConfigFileName, kMaster);
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
  Write(dir_ / kMasterConfigFileName, kMaster);
  std::string log = g_log->LogText();
  std::unique_ptr<ConfigurationFile> outside = MonitorPage::LoadMasterConfig(false, false);
  EXPECT_EQ(TheServer().caches.masterConfigCache, nullptr);

  BeginConfigWalk();
  std::unique_ptr<ConfigurationFile> first = MonitorPage::LoadMasterConfig(false, false);
  std::unique_ptr<ConfigurationFile> second = MonitorPage::LoadMasterConfig(false, false);
  std::unique_ptr<ConfigurationFile> own = MonitorPage::LoadMasterConfig(false, true);
  ASSERT_NE(first->GetRoot(), nullptr);
  EXPECT_EQ(first->GetRoot(), second->GetRoot());
  EXPECT_TRUE(first->IsBorrowed());
  EXPECT_NE(own->GetRoot(), first->GetRoot());
  EXPECT_NE(outside->GetRoot(), first->GetRoot());
  std::string name;
  EXPECT_TRUE(MasterConfigName(*second, &name) && name == "base");
  // Another thread (a page answering a request meanwhile) reads its own
  // copy and leaves the walk's copy alone.
  std::unique_ptr<ConfigurationFile> session;
  std::thread([&] {
    session = MonitorPage::LoadMasterConfig(false, false);
    MonitorPage::LoadMasterConfig(true, false);
  }).join();
  EXPECT_FALSE(session->IsBorrowed());
  EXPECT_NE(session->GetRoot(), nullptr);
  EXPECT_NE(TheServer().caches.masterConfigCache, nullptr);
  first.reset();
  second.reset();
  // An update drops the shared copy: the next reader parses again.
  std::unique_ptr<ConfigurationFile> update = MonitorPage::LoadMasterConfig(true, false);
  EXPECT_EQ(TheServer().caches.masterConfigCache, nullptr);
  EXPECT_TRUE(update->IsOpenForWrite());
  update.reset();
  std::unique_ptr<ConfigurationFile> third = MonitorPage::LoadMasterConfig(false, false);
  third.reset();
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
  Write(dir_ / "qrsroot" / "alert" / "one.ruleset.xml", ruleset);
  AlertConfigCollection found;
  GetAlertConfigs("a", &found);
  EXPECT_EQ(found.Size(), 1u);
  // A file added later is not seen while the parser is kept...
  Write(dir_ / "qrsroot" / "alert" / "two.ruleset.xml", ruleset);
  found.Clear();
  GetAlertConfigs("a", &found);
  EXPECT_EQ(found.Size(), 1u);
  // ...not even when released in the middle of a walk...
  BeginConfigWalk();
  ReleaseRulesetCache();
  EXPECT_NE(TheServer().caches.rulesetCache, nullptr);
  // ...but after the walk's end the rulesets are read again.
  EndConfigWalk();
  EXPECT_EQ(TheServer().caches.rulesetCache, nullptr);
  found.Clear();
  GetAlertConfigs("a", &found);
  EXPECT_EQ(found.Size(), 2u);
}

}  // namespace
