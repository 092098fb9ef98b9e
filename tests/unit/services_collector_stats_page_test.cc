// The collector's statistics page in-process: its replies, its file, and the
// statistics it gathers from scripted providers.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <string>

#include "collector/collector_statistics.h"
#include "collector/provider_map.h"
#include "runtime/monitor_server.h"
#include "services/collector_stats_page.h"
#include "tests/support/log_to_temp_dir.h"
#include "tests/support/memory_channel.h"
#include "tests/support/scripted_server.h"

namespace {

LogToTempDir* logDir = AddLogToTempDir("velmora-collstats-");

// "STATUS BODY" of one request.
std::string Call(CollectorStatsPage& page, bool post, const char* query) {
  MemoryChannel io("");
  int status = post ? page.Post(&io, "/collector/stats", query, nullptr, nullptr, 0, 1)
                    : page.Get(&io, "/collector/stats", query, nullptr, nullptr, 0, 1);
  return std::to_string(status) + " " + io.Body();
}

TEST(CollectorStatsPage, RepliesAndFile) {
  TheServer().options.configDirectory = logDir->Dir() + "/";
  const std::string path = CollectorStatsPage::StatsFilePath(), planted = "<key name=\"planted\" value=\"1\"/>";
  std::ofstream(path) << planted;
  CollectorStatsPage page("/collector/stats", false);
  page.CleanUp();  // never started: another run's file is left alone
  EXPECT_EQ(ReadFile(path), planted);
  ASSERT_EQ(page.Initialize(), 0u);
  EXPECT_EQ(ReadFile(path), "");
  const MonitoredItem item = page.Items().Items().at(0);
  EXPECT_EQ(item.id + " " + std::to_string(item.interval) + (item.renews && item.initial ? " ri" : ""),
            "savestats 3600 ri");

  const std::regex shape(
      "200 <collectorstats><forwarded>\\d+</forwarded><pagenotfound>\\d+</pagenotfound><pagefound>\\d+</pagefound>"
      "<forked>\\d+</forked><unforked>\\d+</unforked><timerserviced>\\d+</timerserviced><total-resident-time>\\d+"
      "</total-resident-time><external-wakeups>\\d+</external-wakeups><current-resident-time>[01]"
      "</current-resident-time><providerstats/><wakeups>0</wakeups><configname/><configtime/></collectorstats>");
  for (const char* query : {static_cast<const char*>(nullptr), "providers", "x=1"})  // "providers" has no "="
    EXPECT_TRUE(std::regex_match(Call(page, false, query), shape)) << Call(page, false, query);
  EXPECT_EQ(Call(page, true, "providers=1"), "400 ");

  TheCollectorStatistics().AddWakeups(3);
  TheCollectorStatistics().SetConfig("base & co", "t1");
  page.ServiceTimers(0);  // the save falls due at the first advance
  EXPECT_TRUE(std::regex_match(
      ReadFile(path),
      std::regex("\\s*<section name=\"connections\">\\s*<key name=\"first\"[^>]*>\\s*<key name=\"as-of\"[\\s\\S]*"
                 "<key name=\"current-resident-time\" value=\"[01]\"/>\\s*<section name=\"providerstats\"/>\\s*"
                 "<key name=\"wakeups\" value=\"3\"/>\\s*<key name=\"configname\" value=\"base &amp; co\"/>\\s*"
                 "<key name=\"configtime\" value=\"t1\"/>\\s*</section>\\s*")))
      << ReadFile(path);
}

TEST(CollectorStatsPage, ProviderStatsFromEachStatsProvider) {
  CollectorStatsPage page("/collector/stats", false);
  EXPECT_EQ(Call(page, false, "providers="), "200 <providerstats/>");
  const std::string stats = "<forwarded>1</forwarded><x a=\"b&amp;\"/>";
  ScriptedServer answering("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(stats.size()) + "\r\n\r\n" + stats);
  ScriptedServer closing(""), plain("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nno");
  for (auto [name, port, keepsStats] : {std::make_tuple("c_closes", closing.Port(), true),
                                        std::make_tuple("b_plain", plain.Port(), false),
                                        std::make_tuple("a_answers", answering.Port(), true)}) {
    bool matched = false;
    ProviderMap::Instance().addProvider(name, std::to_string(port).c_str(), "", "", keepsStats,
                                        "<table version=\"1.2.0.1\"/>", "", false, &matched);
  }
  // In name order; the text is the escaped body, empty when none came.
  EXPECT_EQ(Call(page, false, "providers=1"),
            "200 <providerstats><provider name=\"a_answers\">&lt;forwarded&gt;1&lt;/forwarded&gt;&lt;x a=&quot;"
            "b&amp;amp;&quot;/&gt;</provider><provider name=\"c_closes\"/></providerstats>");
  EXPECT_EQ(answering.Received(), "GET /stats\nContent-Length: 0\n\n");
  EXPECT_FALSE(plain.WaitRequest(0));
  const std::string log = logDir->LogText();
  for (const char* line : {"getProviderStats\n", "getProviderStats requesting provider a_answers stats\n",
                           "getProviderStats provider b_plain not keeping stats\n",
                           "getProviderStats requesting provider c_closes stats failed code 500\n",
                           "getProviderStats complete.\n"})
    EXPECT_GT(Count(log, std::string("CollectorStatsPage::") + line), 0u) << line;
  EXPECT_EQ(Count(log, "a_answers stats failed"), 0u);
}

}  // namespace
