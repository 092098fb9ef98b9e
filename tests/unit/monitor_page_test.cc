// The page base class, the registry and the page XML forms.
#include "pages/monitor_page.h"

#include <gtest/gtest.h>

#include "pages/monitor_metadata.h"
#include "pages/provider_error_list.h"
#include "pages/query_map.h"
#include "runtime/monitor_server.h"
#include "runtime/page_registry.h"
#include "xml/xml_accumulator.h"

namespace {

struct Counts {
  int initialize = 0;
  int cleanUp = 0;
  int destroyed = 0;
};

class CountingPage : public MonitorPage {
 public:
  CountingPage(const char* path, Counts* counts, uint32_t initResult = 0)
      : MonitorPage(path, false), counts_(counts), initResult_(initResult) {}
  ~CountingPage() override { ++counts_->destroyed; }
  uint32_t Initialize() override {
    ++counts_->initialize;
    return initResult_;
  }
  void CleanUp() override { ++counts_->cleanUp; }

 private:
  Counts* counts_;
  uint32_t initResult_;
};

std::string Xml(const XMLAccumulator& xml) {
  std::string text;
  xml.GetXML(&text, -1);
  return text;
}

class Registry : public ::testing::Test {
 protected:
  void TearDown() override { CleanUpAllPages(); }
};

// The longest registered prefix ending at a "/" serves a path; test_server.py
// (Answers.test_default_answers_and_dispatch) follows paths to their pages.
TEST_F(Registry, LongestPrefixEndingAtSlash) {
  Counts c;
  ASSERT_TRUE(RegisterPage(new CountingPage("/a", &c)));
  ASSERT_TRUE(RegisterPage(new CountingPage("/a/b", &c)));
  ASSERT_NE(FindPage("/a"), nullptr);
  EXPECT_EQ(FindPage("/a/x/y"), FindPage("/a"));
  EXPECT_EQ(FindPage("/A"), nullptr);  // byte for byte
  EXPECT_EQ(FindPage(""), nullptr);
}

TEST_F(Registry, DuplicatePathAndInitialization) {
  Counts first, second, failing;
  EXPECT_TRUE(RegisterPage(new CountingPage("/dup", &first)));
  EXPECT_FALSE(RegisterPage(new CountingPage("/dup", &second)));
  EXPECT_EQ(second.initialize, 1);
  EXPECT_EQ(second.cleanUp, 1);  // the registration failed: cleaned up, then deleted
  EXPECT_EQ(second.destroyed, 1);
  EXPECT_FALSE(RegisterPage(new CountingPage("/bad", &failing, 7)));
  EXPECT_EQ(failing.cleanUp, 0);  // Initialize failed: deleted without CleanUp
  EXPECT_EQ(failing.destroyed, 1);
  EXPECT_EQ(FindPage("/bad"), nullptr);
  EXPECT_FALSE(RegisterPage(nullptr));
  EXPECT_FALSE(RegisterPageDeferred(nullptr));

  Counts deferred;
  auto* page = new CountingPage("/deferred", &deferred);
  EXPECT_TRUE(RegisterPageDeferred(page));
  EXPECT_EQ(deferred.initialize, 0);
  EXPECT_EQ(page->LateInitialize(), 0u);
  EXPECT_EQ(page->LateInitialize(), 0u);
  EXPECT_EQ(deferred.initialize, 1);

  CleanUpAllPages();
  EXPECT_EQ(first.cleanUp, 1);
  EXPECT_EQ(first.destroyed, 1);
  EXPECT_TRUE(TheServer().pages.empty());
}

TEST(MonitorPage, MetadataRequestsAndDefaults) {
  // The first parameter only, any case, with "=".
  for (const char* yes : {"requestmetadata=1", "RequestMetaData=yes&x=1"})
    EXPECT_TRUE(MonitorPage::IsMetadataRequest(yes)) << yes;
  for (const char* no : {static_cast<const char*>(nullptr), "x=1&requestmetadata=1", "requestmetadata"})
    EXPECT_FALSE(MonitorPage::IsMetadataRequest(no)) << (no ? no : "null");

  Counts c;
  CountingPage page("/status", &c);
  EXPECT_EQ(page.SecondsToNextTimer(), 10000u);
  EXPECT_TRUE(page.IsIdle());
  EXPECT_FALSE(page.TimersTriggerHeartbeating());
  XMLAccumulator xml;
  page.WriteIndexEntry(&xml, page.GetPath());
  EXPECT_EQ(Xml(xml), "<page path=\"/status\" metadata=\"n\"/>");

  page.AddMonitoredItem("t", "timer", 30, true, false, nullptr);
  EXPECT_EQ(page.SecondsToNextTimer(), 30u);
  EXPECT_FALSE(page.IsIdle());
  EXPECT_TRUE(page.TimersTriggerHeartbeating());
  page.SetTimersBlockIdle(false);  // inactive timers never keep a page busy
  EXPECT_TRUE(page.IsIdle());
}

TEST(MonitorPage, IndexEntryForms) {
  XMLAccumulator full;
  MonitorPage::WriteIndexEntryXML(&full, "/p", "desc", true, "L", "", "prov");
  EXPECT_EQ(Xml(full), "<page path=\"/p\" description=\"desc\" provider=\"prov\" linkID=\"L\" metadata=\"y\"/>");
  XMLAccumulator row;
  MonitorPage::WriteIndexEntryRow(&row, "/inventory", "collector", "ready");
  EXPECT_EQ(Xml(row),
            "<tr><td><a href=\"../vmprov.cgi/inventory\">/inventory</a></td><td>ready</td><td>collector</td></tr>");
}

TEST(Metadata, Forms) {
  XMLAccumulator empty;
  MonitorMetadata().WriteXML(&empty);
  EXPECT_EQ(Xml(empty), "<monitormetadata/>");

  MonitorMetadata m;
  MonitoredClass c;
  c.stringid = "C1";
  c.enable = "on";
  c.disable = "off";
  m.classes.push_back(c);
  XMLAccumulator bare;  // no interval, no sensors: neither is written
  m.WriteXML(&bare);
  EXPECT_EQ(Xml(bare).find("<interval>"), std::string::npos);
  EXPECT_EQ(Xml(bare).find("<monitoredsensor>"), std::string::npos);

  MonitoredSensor s;
  s.stringid = "S";
  s.minvalue = -5;
  s.maxvalue = 7;
  s.substitutions = {{"b", "2"}, {"a", "1"}};
  MonitoredThreshold t;
  t.stringid = "T";
  t.updateid = "u";
  t.distancefromnominal = -3;
  s.thresholds.push_back(t);
  m.classes[0].sensors.push_back(s);
  m.classes[0].interval = "60";
  XMLAccumulator full;
  m.WriteXML(&full);
  EXPECT_EQ(Xml(full),
            "<monitormetadata><monitoredclass><monitoredclasslabel><stringid>C1</stringid></monitoredclasslabel>"
            "<enable>on</enable><disable>off</disable><interval>60</interval><monitoredsensor>"
            "<monitoredsensorlabel><stringid>S</stringid><substitutions>"
            "<substitution name=\"a\" value=\"1\"/><substitution name=\"b\" value=\"2\"/></substitutions>"
            "</monitoredsensorlabel><unitsid/><updatequalifier/><minvalue>-5</minvalue>"
            "<maxvalue>7</maxvalue><monitoredthreshold><monitoredthresholdlabel><stringid>T</stringid>"
            "</monitoredthresholdlabel><updateid>u</updateid><distancefromnominal>-3</distancefromnominal>"
            "</monitoredthreshold></monitoredsensor></monitoredclass></monitormetadata>");
}

TEST(ProviderErrors, OnlyNonEmptyListsAreWritten) {
  ProviderErrorList none;
  XMLAccumulator empty;
  none.WriteXML(&empty);
  EXPECT_EQ(Xml(empty), "");

  ProviderErrorList getOnly;
  getOnly.getErrors.push_back(ProviderError{"E1", {{"file", "a.xml"}}});
  XMLAccumulator xml;
  getOnly.WriteXML(&xml);
  EXPECT_EQ(Xml(xml),
            "<providererrorlist><geterrors><providererror><stringid>E1</stringid>"
            "<parameters><file>a.xml</file></parameters></providererror></geterrors></providererrorlist>");
  EXPECT_EQ(getOnly.GetErrorCount(), 1u);
  EXPECT_EQ(getOnly.PostErrorCount(), 0u);
}

TEST(QueryMap, SplitsDecodesAndReplaces) {
  QueryMap q("a=1&&b=x%20y+z&flag&a=2&c=&%41=%zz");
  EXPECT_EQ(q.Get("a"), "2");
  EXPECT_EQ(q.Get("b"), "x y z");
  EXPECT_FALSE(q.Has("flag"));
  EXPECT_TRUE(q.Has("c"));
  EXPECT_EQ(q.Get("c"), "");
  EXPECT_EQ(q.Get("A"), "%zz");
  EXPECT_EQ(q.Get("missing"), "");
  EXPECT_EQ(QueryMap(nullptr).Size(), 0u);
  EXPECT_EQ(QueryMap("").Size(), 0u);
}

}  // namespace
