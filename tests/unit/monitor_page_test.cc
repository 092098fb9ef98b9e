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
  int initialize = 0, cleanUp = 0, destroyed = 0;
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
  auto counts = [](const Counts& c) { return std::vector<int>{c.initialize, c.cleanUp, c.destroyed}; };
  EXPECT_FALSE(RegisterPage(new CountingPage("/dup", &second)));
  EXPECT_EQ(counts(second), (std::vector<int>{1, 1, 1}));  // the registration failed: cleaned up, then deleted
  EXPECT_FALSE(RegisterPage(new CountingPage("/bad", &failing, 7)));
  EXPECT_EQ(counts(failing), (std::vector<int>{1, 0, 1}));  // Initialize failed: deleted without CleanUp
  EXPECT_EQ(FindPage("/bad"), nullptr);
  EXPECT_FALSE(RegisterPage(nullptr) || RegisterPageDeferred(nullptr));

  Counts deferred;
  auto* page = new CountingPage("/deferred", &deferred);
  EXPECT_TRUE(RegisterPageDeferred(page));
  EXPECT_EQ(deferred.initialize, 0);
  EXPECT_EQ(page->LateInitialize() + page->LateInitialize(), 0u);
  EXPECT_EQ(deferred.initialize, 1);

  CleanUpAllPages();
  EXPECT_EQ(counts(first), (std::vector<int>{1, 1, 1}));
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
  EXPECT_TRUE(page.IsIdle() && !page.TimersTriggerHeartbeating());
  XMLAccumulator xml;
  page.WriteIndexEntry(&xml, page.GetPath());
  EXPECT_EQ(Xml(xml), "<page path=\"/status\" metadata=\"n\"/>");

  page.AddMonitoredItem("t", "timer", 30, true, false, nullptr);
  EXPECT_EQ(page.SecondsToNextTimer(), 30u);
  EXPECT_TRUE(!page.IsIdle() && page.TimersTriggerHeartbeating());
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
  MonitorMetadata m;
  XMLAccumulator empty;
  m.WriteXML(&empty);
  EXPECT_EQ(Xml(empty), "<monitormetadata/>");

  m.classes.emplace_back();
  m.classes[0].stringid = "C1", m.classes[0].enable = "on", m.classes[0].disable = "off";
  XMLAccumulator bare;  // no interval, no sensors: neither is written
  m.WriteXML(&bare);
  EXPECT_EQ(Xml(bare), "<monitormetadata><monitoredclass><monitoredclasslabel><stringid>C1</stringid>"
                       "</monitoredclasslabel><enable>on</enable><disable>off</disable></monitoredclass>"
                       "</monitormetadata>");

  MonitoredSensor& s = m.classes[0].sensors.emplace_back();
  s.stringid = "S", s.minvalue = -5, s.maxvalue = 7, s.substitutions = {{"b", "2"}, {"a", "1"}};
  MonitoredThreshold& t = s.thresholds.emplace_back();
  t.distancefromnominal = -3, t.updateid = "u", t.stringid = "T";
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
  ProviderErrorList list;
  XMLAccumulator empty, xml;
  list.WriteXML(&empty);
  EXPECT_EQ(Xml(empty), "");
  list.getErrors.push_back(ProviderError{"E1", {{"file", "a.xml"}}});
  list.WriteXML(&xml);
  EXPECT_EQ(Xml(xml),
            "<providererrorlist><geterrors><providererror><stringid>E1</stringid>"
            "<parameters><file>a.xml</file></parameters></providererror></geterrors></providererrorlist>");
  EXPECT_EQ(std::make_pair(list.GetErrorCount(), list.PostErrorCount()), std::make_pair(size_t{1}, size_t{0}));
}

TEST(QueryMap, SplitsDecodesAndReplaces) {
  QueryMap q("a=1&&b=x%20y+z&flag&a=2&c=&%41=%zz");
  EXPECT_EQ(q.Get("a") + "|" + q.Get("b") + "|" + q.Get("c") + "|" + q.Get("A") + "|" + q.Get("missing"),
            "2|x y z||%zz|");
  EXPECT_TRUE(!q.Has("flag") && q.Has("c"));  // a word without "=" is no parameter
  EXPECT_EQ(QueryMap(nullptr).Size() + QueryMap("").Size(), 0u);
}

}  // namespace
