// The wakeup scheduler in process: commands, the composite cookie, the
// TIMERS listing, and deliveries to stub providers on the fake clock.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "collector/collector_statistics.h"
#include "collector/provider_map.h"
#include "platform/clock.h"
#include "platform/socket.h"
#include "runtime/monitor_server.h"
#include "runtime/provider_con.h"
#include "runtime/start_thread.h"
#include "services/schedule_access_page.h"
#include "services/scheduler_cookie.h"
#include "tests/support/log_to_temp_dir.h"
#include "tests/support/memory_channel.h"
#include "tests/support/scripted_server.h"

namespace {

LogToTempDir* g_log = AddLogToTempDir("sched_");

constexpr const char* kOk = "HTTP/1.1 200 OK\nContent-Length: 0\n\n";

// The body of a 200 answer, else "STATUS:body".
std::string Ask(ScheduleAccessPage& page, const char* query, bool post = true) {
  MemoryChannel io("");
  int status = post ? page.Post(&io, "/extschedule", query, nullptr, nullptr, 1, 0)
                    : page.Get(&io, "/extschedule", query, nullptr, nullptr, 1, 1);
  return status == 200 ? io.Body() : std::to_string(status) + ":" + io.Body();
}

// A provider `name` on `port` serving `path`.
void AddProvider(const std::string& name, uint16_t port, const std::string& path) {
  bool matched = false;
  ProviderMap::Instance().addProvider(name.c_str(), std::to_string(port).c_str(), "", "", false,
                                      "<table version=\"1.2.0.1\" lateinitdone=\"1\"><page path=\"" + path +
                                          "\"/></table>",
                                      "", false, &matched);
}

// The grouped wakeup request carrying `body`.
std::string Grouped(const std::string& body) {
  return "POST /extalarm?alarms=1\nContent-Length: " + std::to_string(body.size()) + "\n\n" + body;
}

TEST(ScheduleAccessPage, CommandsChangeTheListAndAnswerItsWord) {
  ScheduleAccessPage page("/extschedule", true);
  EXPECT_EQ(Ask(page, "cmd=add&page=/p&cookie=c&delay=30"), "added");
  EXPECT_EQ(Ask(page, "cmd=add&page=/p&cookie=c&delay=40"), "replaced");
  ASSERT_EQ(page.Items().Count(), 1u);
  EXPECT_TRUE(page.Items().Items()[0].interval == 40 && !page.Items().Items()[0].renews);
  EXPECT_EQ(Ask(page, "cmd=del&page=/p&cookie=other&delay="), "none");
  EXPECT_EQ(Ask(page, "cmd=del&page=/p&cookie=c"), "400:");
  EXPECT_EQ(Ask(page, "cmd=del&page=/p&cookie=c&delay="), "deleted");

  EXPECT_EQ(Ask(page, "cmd=mod&page=/m&cookie=c&delay=7"), "added");
  EXPECT_TRUE(page.Items().Items()[0].renews);
  EXPECT_EQ(page.Items().Items()[0].description, "created by call to modify");
  EXPECT_EQ(Ask(page, "cmd=mod&page=/m&cookie=c&delay=3"), "modified");

  for (const char* bad : {"cmd=add&page=/p&cookie=c&delay=0", "cmd=add&page=/p&cookie=c&delay=x5",
                          "CMD=add&page=/p&cookie=c&delay=5", "cmd=added&page=/p&cookie=c&delay=5",
                          "cmd=mod&page=/p&cookie=c&delay=0"})
    EXPECT_EQ(Ask(page, bad), "400:") << bad;
  EXPECT_EQ(Ask(page, "cmd=ADDRENEW&page=/r&cookie=c&delay=5x"), "added");
  EXPECT_EQ(page.Items().Count(), 2u);
  for (const MonitoredItem& item : page.Items().Items()) {
    if (item.id == MakeSchedulerCookie("/r", "c")) {
      EXPECT_TRUE(item.interval == 5 && item.renews);
    }
  }

  // Once shutdown has begun, a matched command changes nothing.
  TheServer().signals.shutdownRequested = true;
  EXPECT_EQ(Ask(page, "cmd=add&page=/late&cookie=c&delay=5"), "none");
  EXPECT_EQ(Ask(page, "cmd=del&page=/r&cookie=c&delay=1"), "none");
  EXPECT_EQ(Ask(page, "cmd=add&page=/late&cookie=c&delay=0"), "400:");
  TheServer().signals.shutdownRequested = false;
  EXPECT_EQ(page.Items().Count(), 2u);
}

TEST(ScheduleAccessPage, CompositeCookieEscapesAndComesBackWhole) {
  EXPECT_EQ(MakeSchedulerCookie("/a<b", "x&\"y"), "<page>/a&lt;b</page><cookie>x&amp;&quot;y</cookie>");
  EXPECT_EQ(EscapeSchedulerText("a\r\nb\rc\td'>\x7f"), "a&#xA;b&#xA;c&#x9;d&apos;&gt;&#x7F;");
  EXPECT_EQ(EscapeSchedulerText("\x80z\x01"), "Invalid CharzInvalid Char");
  EXPECT_EQ(EscapeSchedulerText(std::string(600, '&')).size(), 999u);

  std::string provider, page, cookie;
  const std::string odd = "x&\"y<>'\t\x7f";
  DecomposeSchedulerCookie("prov" + MakeSchedulerCookie("/a<b", odd), &provider, &page, &cookie);
  EXPECT_EQ(provider + "|" + page + "|" + cookie, "prov|/a<b|" + odd);
  DecomposeSchedulerCookie("<PAGE>/p</Page><cookie>&#65;&#x42;&#999;</cookie>", &provider, &page, &cookie);
  EXPECT_EQ(provider + "|" + page + "|" + cookie, "|/p|AB&#999;");
  DecomposeSchedulerCookie("<page>/p</page>", nullptr, &page, &cookie);
  EXPECT_EQ(cookie, "");

  // The listing shows the pair unescaped (the writer escapes it once).
  ScheduleAccessPage schedule("/extschedule", true);
  ASSERT_EQ(Ask(schedule, "cmd=addrenew&page=/a%3Cb&cookie=x%26%22y&delay=9"), "added");
  schedule.ServiceTimers(2);
  EXPECT_EQ(Ask(schedule, nullptr, false),
            "\t<TIMERS secondsAccumulated=\"2\">\n"
            "\t\t<TIMER page=\"/a&lt;b\" cookie=\"x&amp;&quot;y\" interval=\"9\" remains=\"9\" renews=\"1\" "
            "initial=\"0\"/>\n\t</TIMERS>\n");
  EXPECT_NE(Ask(schedule, "timerstatus=1", false).find("ID=\"&lt;page&gt;/a&amp;lt;b"), std::string::npos);
}

TEST(ScheduleAccessPage, DueWakeupsGoToTheirProvidersSingleOrGrouped) {
  ScheduleAccessPage page("/extschedule", true);
  ScriptedServer single(kOk), grouped(kOk), first(kOk), second(kOk);
  AddProvider("single", single.Port(), "/a");
  AddProvider("grouped", grouped.Port(), "/g");
  AddProvider("first", first.Port(), "/f");
  AddProvider("second", second.Port(), "/s");
  const uint32_t before = TheCollectorStatistics().Wakeups();

  ASSERT_EQ(Ask(page, "cmd=add&page=/a&cookie=a%20b&delay=5"), "added");
  page.ServiceTimers(5);
  EXPECT_EQ(single.Received(), "POST /extalarm?page=/a&cookie=a%20b\nContent-Length: 0\n\n");

  // Two of one provider: one request, alarms in descending order.
  Ask(page, "cmd=add&page=/g/x&cookie=x0&delay=3");
  Ask(page, "cmd=add&page=/g/x&cookie=x1&delay=3");
  page.ServiceTimers(3);
  const std::string body = "<alarms><alarm page=\"/g/x\" cookie=\"x1\"/><alarm page=\"/g/x\" cookie=\"x0\"/></alarms>";
  EXPECT_EQ(grouped.Received(), Grouped(body));

  // Two providers: one grouped request each; a page nobody serves is dropped.
  Ask(page, "cmd=add&page=/f&cookie=1&delay=2");
  Ask(page, "cmd=add&page=/s&cookie=2&delay=2");
  Ask(page, "cmd=add&page=/nobody&cookie=3&delay=2");
  page.ServiceTimers(2);
  EXPECT_EQ(first.Received(), Grouped("<alarms><alarm page=\"/f\" cookie=\"1\"/></alarms>"));
  EXPECT_EQ(second.Received(), Grouped("<alarms><alarm page=\"/s\" cookie=\"2\"/></alarms>"));
  EXPECT_TRUE(g_log->Logged("Couldn't finding a matching provider for page /nobody; alarm dropped!\n"));
  Ask(page, "cmd=add&page=/nobody&cookie=3&delay=2");
  page.ServiceTimers(2);
  EXPECT_TRUE(g_log->Logged("ScheduleAccessPage::SendWakeup couldn't find /nobody\n"));
  EXPECT_EQ(TheCollectorStatistics().Wakeups() - before, 1u + 2u + 1u + 1u);

  // Once shutdown has begun, nothing is sent.
  Ask(page, "cmd=add&page=/a&cookie=late&delay=1");
  TheServer().signals.shutdownRequested = true;
  page.ServiceTimers(1);
  TheServer().signals.shutdownRequested = false;
  EXPECT_EQ(TheCollectorStatistics().Wakeups() - before, 5u);
  EXPECT_TRUE(WaitForDetachedThreads(10000));
}

TEST(ScheduleAccessPage, OnlyABare500IsRetriedAndNeverOnTheLoop) {
  ScheduleAccessPage page("/extschedule", true);
  ScriptedServer silent("", false, 0, 4);  // closes without answering: 500
  AddProvider("silent", silent.Port(), "/silent");
  AddProvider("gone", FreePort(), "/gone");

  Ask(page, "cmd=add&page=/silent&cookie=s&delay=1");
  uint64_t start = platform::TickCountMs();
  page.ServiceTimers(1);
  EXPECT_LT(platform::TickCountMs() - start, 500u);
  ASSERT_TRUE(WaitFor([] { return g_log->Logged("retry limit reached; this one goes to the bit bucket\n"); }));
  Ask(page, "cmd=add&page=/gone&cookie=g&delay=1");
  page.ServiceTimers(1);
  ASSERT_TRUE(WaitFor([] { return g_log->Logged("Result is: 0\n"); }));
  EXPECT_TRUE(WaitForDetachedThreads(10000));  // status 0: one request, no retry
  EXPECT_EQ(Count(g_log->LogText(), "Post() Requesting document: /extalarm?page=/gone"), 1u);

  // Three requests about a second apart, then nothing before a sentinel.
  CProviderCon sentinel;
  sentinel.SetMode(CProviderCon::kModeSocket);
  sentinel.SetPort(silent.Port());
  sentinel.requestDocument("/sentinel", "", false, 5, /*noResponse=*/true);
  EXPECT_EQ(Count(silent.Received(), "POST /extalarm?page=/silent&cookie=s\n"), 3u);
  EXPECT_NE(silent.Received().find("GET /sentinel"), std::string::npos);
  std::vector<uint64_t> times = silent.ArrivalTimes();
  ASSERT_EQ(times.size(), 4u);
  for (size_t i = 1; i < 3; ++i) {
    EXPECT_GE(times[i] - times[i - 1], 950u);
    EXPECT_LT(times[i] - times[i - 1], 3000u);
  }
}

}  // namespace
