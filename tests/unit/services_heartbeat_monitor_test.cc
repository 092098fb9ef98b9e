// The heartbeat monitor page driven in-process: timers advanced by hand,
// scripted sockets as providers and as the collector's own port.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>

#include "collector/collector_config.h"
#include "collector/provider_map.h"
#include "collector/provider_metrics.h"
#include "platform/process.h"
#include "platform/process_info.h"
#include "platform/signals.h"
#include "runtime/monitor_server.h"
#include "runtime/provider_con.h"
#include "runtime/start_thread.h"
#include "services/heartbeat_monitor_page.h"
#include "services/heartbeat_threads.h"
#include "tests/support/memory_channel.h"
#include "tests/support/scripted_server.h"

namespace {

const std::string kOk = "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n";

struct Reply {
  int status;
  std::string body;  // after the head
};

Reply Call(HeartbeatMonitorPage& page, bool post, const char* query) {
  MemoryChannel io("");
  int status = post ? page.Post(&io, "/heartbeat/monitor", query, nullptr, nullptr, 0, 0)
                    : page.Get(&io, "/heartbeat/monitor", query, nullptr, nullptr, 0, 1);
  return {status, io.Body()};
}

void AddProvider(const char* name, uint16_t port) {
  bool matched = false;
  ProviderMap::Instance().addProvider(name, std::to_string(port).c_str(), "", "", false,
                                      "<table version=\"1.2.0.1\"></table>", "", false, &matched);
}

std::string ItemIds(const HeartbeatMonitorPage& page) {
  std::string ids;
  for (const MonitoredItem& item : page.Items().Items())
    ids += item.id + "=" + std::to_string(item.interval) + (item.renews ? "r " : " ");
  return ids;
}

std::atomic<int> launches{0};
std::atomic<bool> launchedAsRecovery{false};
int RecordLaunch(CProviderCon* con) {
  launchedAsRecovery = con->LaunchData().crashRecovery;
  ++launches;
  return 0;
}

TEST(HeartbeatMonitor, RegistrationDelaysIntervalsAndCancel) {
  HeartbeatMonitorPage page("/heartbeat/monitor", false);
  for (const char* query : {"port=0", "port=-2", "", "interval=3", "recover=1"})
    EXPECT_EQ(Call(page, true, query).status, 400) << query;

  for (const char* query : {"port=101", "port=102&interval=0", "port=103&interval=-3", "port=104&interval=abc",
                            "port=105&interval=7", "port=106&interval=35791395"})
    EXPECT_EQ(Call(page, true, query).status, 200) << query;
  EXPECT_EQ(ItemIds(page),
            "randomize:106=1 randomize:101=1 randomize:102=2 randomize:103=3 randomize:104=6 randomize:105=8 ");
  // Cancelled during its delay: the cookie is discarded when it falls due.
  Call(page, true, "port=101&cancel=yes");
  page.ServiceTimers(8);
  EXPECT_EQ(ItemIds(page), "104=300r 103=300r 102=300r 105=420r 106=2147483700r ");
  EXPECT_EQ(HeartbeatSeconds(0x7fffffff), 0xffffffffu);

  // A new registration drops the running heartbeat at once.
  Call(page, true, "port=105&interval=2");
  EXPECT_EQ(ItemIds(page), "randomize:105=2 104=300r 103=300r 102=300r 106=2147483700r ");
  page.ServiceTimers(2);
  EXPECT_EQ(ItemIds(page), "105=120r 104=300r 103=300r 102=300r 106=2147483700r ");

  AddProvider("beta", 104);
  Reply listing = Call(page, false, "");
  EXPECT_EQ(listing.status, 200);
  EXPECT_NE(listing.body.find("<heartbeats elapsed=\"0\">"), std::string::npos) << listing.body;
  EXPECT_NE(listing.body.find("<heartbeat file=\"beta\" port=\"104\" interval=\"300\" remains=\"298\"/>"),
            std::string::npos)
      << listing.body;

  TheCollectorOptions().heartbeatsEnabled = false;
  Reply disabled = Call(page, false, "");
  Reply ignored = Call(page, true, "port=107");
  TheCollectorOptions().heartbeatsEnabled = true;
  EXPECT_NE(disabled.body.find("<heartbeats-disabled/>"), std::string::npos) << disabled.body;
  EXPECT_EQ(std::count(disabled.body.begin(), disabled.body.end(), '<'), 1) << disabled.body;
  EXPECT_EQ(ignored.status, 200);
  EXPECT_EQ(ItemIds(page).find("107"), std::string::npos);
}

TEST(HeartbeatMonitor, CancelledPortIsNeverSentASentinelPortIs) {
  HeartbeatMonitorPage page("/heartbeat/monitor", false);
  ScriptedServer cancelled(kOk), sentinel(kOk);
  AddProvider("cancelled", cancelled.Port());
  AddProvider("sentinel", sentinel.Port());
  Call(page, true, ("port=" + std::to_string(cancelled.Port()) + "&interval=1").c_str());
  Call(page, true, ("port=" + std::to_string(sentinel.Port()) + "&interval=1").c_str());
  Call(page, true, ("port=" + std::to_string(cancelled.Port()) + "&cancel=1").c_str());
  for (int i = 0; i < 70; ++i) page.ServiceTimers(1);
  EXPECT_TRUE(sentinel.WaitRequest(5000));
  ASSERT_TRUE(WaitForDetachedThreads(5000));
  EXPECT_FALSE(cancelled.WaitRequest(0));
  EXPECT_EQ(sentinel.Received(), "GET /heartbeat\nContent-Length: 0\n\n");
}

TEST(HeartbeatMonitor, RefusedHeartbeatRecoversAndShutdownBlocks) {
  HeartbeatMonitorPage page("/heartbeat/monitor", false);
  CProviderCon::SetStartHook(RecordLaunch);
  const uint16_t port = FreePort();
  AddProvider("gone", port);
  const std::string target = std::to_string(port);
  {
    ScriptedServer collector(kOk);
    TheServer().sockets.port = collector.Port();
    Call(page, true, ("port=" + target + "&interval=1").c_str());
    page.ServiceTimers(1);
    page.ServiceTimers(60);
    ASSERT_TRUE(collector.WaitRequest(5000));
    EXPECT_EQ(collector.Received(), "POST /heartbeat/monitor?recover=1&target=" + target + "\nContent-Length: 0\n\n");
  }
  EXPECT_EQ(launches.load(), 0);  // a heartbeat never launches
  EXPECT_EQ(SnapshotProviderCounts()["gone"].heartbeatFailures, 1u);
  EXPECT_EQ(Call(page, true, ("recover=1&target=" + target).c_str()).status, 200);
  ASSERT_TRUE(WaitForDetachedThreads(5000));
  EXPECT_EQ(launches.load(), 1);
  EXPECT_TRUE(launchedAsRecovery.load());
  Call(page, true, "recover=1&target=1");  // no provider there: not counted
  EXPECT_NE(Call(page, false, "").body.find("<recovery-attempt file=\"gone\" count=\"1\"/>"), std::string::npos);

  // Once shutdown has begun, due heartbeats send nothing.
  ScriptedServer collector(kOk);
  TheServer().sockets.port = collector.Port();
  platform::SetSystemShutdownPending();
  page.ServiceTimers(60);
  ASSERT_TRUE(WaitForDetachedThreads(5000));
  EXPECT_FALSE(collector.WaitRequest(0));
}

TEST(HeartbeatMonitor, HungProviderTimesOutAndIsEndedOnlyWhenOurChild) {
  ScriptedServer hung("", true);
  CProviderCon con;
  con.SetModeFromText("socket");
  con.SetPort(hung.Port());
  con.SetHeaderTimeout(1);
  EXPECT_EQ(con.requestDocument("/heartbeat", "", false, 10), 500);
  EXPECT_TRUE(con.HeadTimedOut());
  con.SetPort(FreePort());
  EXPECT_EQ(con.requestDocument("/heartbeat", "", false, 10), 0);
  EXPECT_FALSE(con.HeadTimedOut());

  EXPECT_FALSE(EndHungProvider("init", 1));
  EXPECT_FALSE(EndHungProvider("parent", platform::ParentProcessId(static_cast<uint32_t>(platform::ProcessId()))));
  int error = 0;
  long pid = platform::SpawnDetached("/bin/sleep", {"sleep", "60"}, &error);
  ASSERT_GT(pid, 1);
  EXPECT_TRUE(EndHungProvider("sleeper", static_cast<uint32_t>(pid)));
  EXPECT_TRUE(platform::ChildHasEnded(pid));
}

}  // namespace
