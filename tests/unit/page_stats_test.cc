#include "pages/page_stats.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "pages/server_statistics.h"
#include "platform/process_info.h"
#include "xml/configuration_file.h"
#include "xml/xml_accumulator.h"

namespace {

namespace fs = std::filesystem;

class StatisticsFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("page_stats_test." + std::to_string(platform::ProcessId()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    stats_.SetFile((dir_ / "prog").string());
  }
  void TearDown() override { fs::remove_all(dir_); }

  void Write(const std::string& name, const std::string& text) { std::ofstream(dir_ / name) << text; }
  template <typename Writer>
  static std::string Listing(Writer write) {
    XMLAccumulator xml;
    write(&xml);
    std::string out;
    xml.GetXML(&out, -1);
    return out;
  }

  fs::path dir_;
  PageStats stats_;
};

TEST_F(StatisticsFiles, RequestsAddUpPerPathAndKind) {
  stats_.RecordRequest("/a", false, 10);
  stats_.RecordRequest("/a", false, 30);
  PageStats(stats_.File()).RecordRequest("/b/x", true, 3);  // a fresh table reads what the first wrote
  stats_.RecordRequest("/b/x", true, 4);
  EXPECT_EQ(Listing([&](XMLAccumulator* xml) { stats_.WriteXML(xml); }),
            "<page name=\"/a\"><get><count>2</count><sum>40</sum><avg>20</avg></get>"
            "<post><count>0</count><sum>0</sum><avg>0</avg></post></page>"
            "<page name=\"/b/x\"><get><count>0</count><sum>0</sum><avg>0</avg></get>"
            "<post><count>2</count><sum>7</sum><avg>3</avg></post></page>");
}

TEST_F(StatisticsFiles, ServerRecordLoadsSavesAndCarriesProviders) {
  Write("prog.stats",
        "<key name=\"forwarded\" value=\"7\"/><key name=\"pagefound\" value=\"many\"/>"
        "<key name=\"total-resident-time\" value=\"100\"/>"
        "<section name=\"providerstats\"><key name=\"p1\" value=\"5\"/></section>");
  ServerStatistics& record = TheServerStatistics();
  record.IncrementUnforked();
  ConfigurationFile file(dir_.c_str(), "prog.stats");
  ASSERT_TRUE(file.OpenRead(0));
  record.Load(file, file.GetRoot());
  EXPECT_EQ(record.Forwarded(), 7u);
  EXPECT_EQ(record.PageFound(), 0u);
  EXPECT_EQ(record.Unforked(), 0u);
  EXPECT_EQ(record.TotalResidentTime(), 100u);

  EXPECT_EQ(Listing([&](XMLAccumulator* xml) { record.WriteXML(xml, 3); }),
            "<forwarded>7</forwarded><pagenotfound>0</pagenotfound><pagefound>0</pagefound><forked>0</forked>"
            "<unforked>0</unforked><timerserviced>0</timerserviced><total-resident-time>100</total-resident-time>"
            "<external-wakeups>0</external-wakeups><current-resident-time>3</current-resident-time>"
            "<providerstats><p1>5</p1></providerstats>");

  // Saved into a file that was new: "first" comes first; into an old one it
  // is left as it was.
  for (bool fresh : {true, false}) {
    ConfigurationFile out(dir_.c_str(), fresh ? "new.stats" : "prog.stats");
    bool isNew = false;
    ASSERT_TRUE(OpenStatisticsForWrite(&out, 0, &isNew));
    EXPECT_EQ(isNew, fresh);
    record.Save(&out, out.GetRoot(), isNew, 3);
    ASSERT_TRUE(out.SaveIndented());
    ConfigurationFile back(dir_.c_str(), fresh ? "new.stats" : "prog.stats");
    ASSERT_TRUE(back.OpenRead(0));
    std::vector<std::string> keys;
    back.ListKeyNames(back.GetRoot(), &keys);
    EXPECT_EQ(!keys.empty() && keys[0] == "first", fresh);
    EXPECT_EQ(back.FindKey(back.GetRoot(), "first") != nullptr, fresh);
    unsigned long count = 0;
    EXPECT_TRUE(back.GetKeyUnsigned(back.FindSection(back.GetRoot(), "providerstats"), "p1", &count));
    EXPECT_EQ(count, 5u);
  }
}

}  // namespace
