// The standard pages and the timer service of a page, in process.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pages/cookie_maintenance_page.h"
#include "pages/monitor_page.h"
#include "pages/schedule_page.h"
#include "runtime/page_registry.h"
#include "tests/support/memory_channel.h"

namespace {

class StatePage : public MonitorPage {
 public:
  StatePage(const char* path, uint32_t state, uint32_t wake) : MonitorPage(path, true), state_(state), wake_(wake) {}
  uint32_t GetScheduleState(uint32_t* wakeValue) override {
    if (state_ == 1) *wakeValue = wake_;
    return state_;
  }

 private:
  uint32_t state_, wake_;
};

// Records MonitorNow calls.
class RecordingPage : public MonitorPage {
 public:
  explicit RecordingPage(const char* path) : MonitorPage(path, false) {}
  void MonitorNow(uint32_t count, const std::string* ids) override { calls.emplace_back(ids, ids + count); }
  std::vector<std::vector<std::string>> calls;
};

class StandardPages : public ::testing::Test {
 protected:
  void TearDown() override { CleanUpAllPages(); }
  static std::string GetBody(MonitorPage& page, const char* query = nullptr) {
    MemoryChannel io("");
    page.Get(&io, page.GetPath(), query, nullptr, nullptr, 1, 1);
    return io.Body();
  }
};

TEST_F(StandardPages, ScheduleTakesTheHighestStateAndWakeUpToIt) {
  auto row = [](const char* state, const char* wake) {
    return std::string("<table type=\"schedule\" >\n\t<tr><td>") + state + "</td><td>" + wake +
           "</td></tr>\n</table>\n";
  };
  // A wakeme page before a resident one in path order keeps its value;
  // after it, the resident state comes first and the value stays 0.
  for (bool wakeFirst : {true, false}) {
    auto* schedule = new SchedulePage;
    ASSERT_TRUE(RegisterPage(schedule));
    EXPECT_EQ(GetBody(*schedule), row("inactive", "0"));
    ASSERT_TRUE(RegisterPage(new StatePage(wakeFirst ? "/a" : "/b", 1, 30)));
    ASSERT_TRUE(RegisterPage(new StatePage(wakeFirst ? "/b" : "/a", 2, 0)));
    EXPECT_EQ(GetBody(*schedule), row("resident", wakeFirst ? "30" : "0"));
    CleanUpAllPages();
  }
}

// A page holding an async cookie (on a clock the test moves) and a worker
// record that never started, so counts as ended.
class BusyPage : public MonitorPage {
 public:
  BusyPage() : MonitorPage("/busy", false) {
    Cookies().SetClock([this] { return now; });
    CreateWorkerFunction([](WorkerControlObject*) {}, "never started", nullptr, nullptr, 0);
  }
  AsyncCookieArchive& Archive() { return Cookies(); }
  size_t WorkerCount() { return Workers().Size(); }
  uint32_t now = 1700000000;
};

TEST_F(StandardPages, CookieMaintenanceAgesAndCleansEveryPageEachMinute) {
  auto* page = new CookieMaintenancePage;
  ASSERT_TRUE(RegisterPage(page));
  auto* busy = new BusyPage;
  ASSERT_TRUE(RegisterPage(busy));
  EXPECT_EQ(page->SecondsToNextTimer(), 60u);
  EXPECT_EQ(page->Items().Items()[0].id, "cookie-maintenance");
  EXPECT_TRUE(page->IsIdle() && !page->TimersTriggerHeartbeating());
  const std::string id = busy->Archive().CreateCookie("job", 30, 10).id;
  busy->now += 11;  // expired, but only aging discards it
  page->ServiceTimers(59);
  EXPECT_TRUE(busy->Archive().Find(id, nullptr) && busy->WorkerCount() == 1);
  page->ServiceTimers(1);
  EXPECT_FALSE(busy->Archive().Find(id, nullptr));
  EXPECT_TRUE(busy->Archive().LastAged() == busy->now && busy->WorkerCount() == 0);
  EXPECT_EQ(page->SecondsToNextTimer(), 60u);  // and again a minute later
}

TEST(TimerService, ItemsDueTogetherReachMonitorNowInOneCall) {
  RecordingPage page("/t");
  page.AddMonitoredItem("late", "", 20, true, false, nullptr);
  page.AddMonitoredItem("early", "", 10, true, false, nullptr);
  page.ServiceTimers(0);
  EXPECT_TRUE(page.calls.empty());
  page.ServiceTimers(25);
  ASSERT_EQ(page.calls.size(), 1u);
  EXPECT_EQ(page.calls[0], (std::vector<std::string>{"early", "late"}));
  EXPECT_FALSE(page.ModifyMonitoredItem("missing", 5, nullptr));
  EXPECT_EQ(page.Items().Items()[0].description, "created by call to modify");

  std::string exported;
  page.ExportMonitoredItems(&exported);
  RecordingPage copy("/u");
  copy.ImportMonitoredItems(exported, false);
  EXPECT_EQ(copy.Items().Count(), 3u);
  copy.ImportMonitoredItems(exported, true);  // reset: all due at once, each id once
  EXPECT_EQ(std::make_pair(copy.SecondsToNextTimer(), copy.Items().Count()), std::make_pair(0u, size_t{3}));

  MemoryChannel io("");
  EXPECT_TRUE(MonitorPage::IsTimerStatusRequest("TimerStatus=1") &&
              !MonitorPage::IsTimerStatusRequest("x=1&timerstatus=1"));
  RecordingPage one("/one");
  one.AddMonitoredItem("a", "desc <1>", 10, true, false, nullptr);
  one.ReplyWithTimerStatus(&io);
  EXPECT_EQ(io.Body(),
            "<TIMERS secondspassed=\"0\"><TIMER ID=\"a\" interval=\"10\" remains=\"10\" renews=\"1\" "
            "initial=\"0\">desc &lt;1&gt;</TIMER></TIMERS>");
}

}  // namespace
