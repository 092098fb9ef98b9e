// ticker_provider: a sample provider that keeps time. It shows a page's own
// timers, the process-id report to the collector, and wakeups kept by the
// collector's scheduler.
//
//   GET  /ticker                     <ticker ticks=".." interval="..">
//                                      <wakeup cookie=".."/>...</ticker>
//   GET  /ticker?timerstatus=1       the page's timer listing
//   POST /ticker?interval=N          changes the "tick" timer to N seconds
//   POST /ticker?wakeme=S&cookie=C   asks the collector to wake the page
//                                    every S seconds with cookie C
//   POST /ticker?hang=S              holds the server loop for S seconds (a
//                                    provider that stops answering)
//
// Read from the environment, which a launch by the collector inherits from
// the collector, so that tests can shape the providers it starts:
//   VELMORA_TICKER_IDLE        idle timeout in seconds
//   VELMORA_TICKER_TICK        the first "tick" interval; 0 = no local timer,
//                              so the provider idles and cancels its heartbeat
//   VELMORA_TICKER_HEARTBEAT   heartbeat interval in minutes
//
// The status page gets a one-shot "pid_timer" of 1 second, so the provider
// reports its process id to the collector shortly after it starts.
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "pages/monitor_page.h"
#include "pages/query_map.h"
#include "runtime/entry.h"
#include "runtime/log.h"
#include "runtime/page_registry.h"
#include "runtime/response_writer.h"
#include "xml/xml_accumulator.h"

namespace {

constexpr uint32_t kDefaultTickSeconds = 5;

// A whole number from the environment, or `fallback` when unset or not one.
uint32_t FromEnvironment(const char* name, uint32_t fallback) {
  const char* text = std::getenv(name);
  if (text == nullptr || *text < '0' || *text > '9') return fallback;
  return static_cast<uint32_t>(std::strtoul(text, nullptr, 10));
}

class TickerPage : public MonitorPage {
 public:
  TickerPage() : MonitorPage("/ticker", false) {}

  uint32_t Initialize() override {
    uint32_t tick = FromEnvironment("VELMORA_TICKER_TICK", kDefaultTickSeconds);
    interval_ = tick;
    if (tick != 0) AddMonitoredItem("tick", "tick", tick, true, false, nullptr);
    return 0;
  }

  // Listings run on session threads; requests that change timers or ask
  // the collector run on the loop thread, which owns the timers.
  bool ForkOnRequest(const char*, const char*, const char* const*, const char* const*, int kind) override {
    return kind == 1;
  }

  int Get(IOBase* io, const char*, const char* query, const char* const*, const char* const*, int, int) override {
    if (IsTimerStatusRequest(query)) return ReplyWithTimerStatus(io);
    XMLAccumulator xml;
    xml.OpenElement("ticker");
    xml.AddAttribute("ticks", ticks_.load());
    xml.AddAttribute("interval", interval_.load());
    {
      std::lock_guard<std::mutex> guard(mutex_);
      for (const std::string& cookie : wakeups_) {
        xml.OpenElement("wakeup");
        xml.AddAttribute("cookie", cookie);
        xml.CloseElement();
      }
    }
    xml.CloseElement();
    std::string body;
    xml.GetXML(&body, 0);
    SendResponse(io, kStatus200, body.data(), static_cast<uint32_t>(body.size()), nullptr, nullptr);
    return 200;
  }

  int Post(IOBase* io, const char*, const char* query, const char* const*, const char* const*, int, int) override {
    QueryMap map(query);
    std::string reply;
    if (map.Has("interval")) {
      uint32_t seconds = static_cast<uint32_t>(std::strtoul(map.Get("interval").c_str(), nullptr, 10));
      if (seconds == 0) return Refuse(io);
      uint32_t result = 0;
      ModifyMonitoredItem("tick", seconds, &result);
      interval_ = seconds;
      reply = ItemResultWord(result);
    } else if (map.Has("hang")) {
      uint32_t seconds = static_cast<uint32_t>(std::strtoul(map.Get("hang").c_str(), nullptr, 10));
      Log(2048, "TickerPage hangs for %u seconds\n", seconds);
      std::this_thread::sleep_for(std::chrono::seconds(seconds));
      reply = "awake";
    } else if (map.Has("wakeme") && map.Has("cookie")) {
      uint32_t seconds = static_cast<uint32_t>(std::strtoul(map.Get("wakeme").c_str(), nullptr, 10));
      uint32_t result = kItemCommError;
      if (!ScheduleRepeatingWakeup(map.Get("cookie").c_str(), seconds, &result)) result = kItemCommError;
      if (result == kItemAdded || result == kItemReplaced) wakeMe_ = seconds;
      reply = ItemResultWord(result);
    } else {
      return Refuse(io);
    }
    SendResponse(io, kStatus200, reply.data(), static_cast<uint32_t>(reply.size()), nullptr, nullptr);
    return 200;
  }

  void MonitorNow(uint32_t count, const std::string* itemIds) override {
    for (uint32_t i = 0; i < count; ++i)
      if (itemIds[i] == "tick") ++ticks_;
  }

  void ExternalWakeupRecieved(const char* itemId) override {
    Log(2048, "TickerPage woken with cookie %s\n", itemId);
    std::lock_guard<std::mutex> guard(mutex_);
    wakeups_.push_back(itemId);
  }

  // Resident while it keeps its own timer; wakeme once the collector keeps
  // a wakeup for it.
  uint32_t GetScheduleState(uint32_t* wakeValue) override {
    uint32_t wake = wakeMe_;
    if (wake == 0) return 2;
    *wakeValue = wake;
    return 1;
  }

 private:
  static int Refuse(IOBase* io) {
    SendResponse(io, kStatus400, nullptr, 0, nullptr, nullptr);
    return 400;
  }

  std::atomic<uint32_t> ticks_{0};
  std::atomic<uint32_t> interval_{kDefaultTickSeconds};
  std::atomic<uint32_t> wakeMe_{0};
  std::mutex mutex_;
  std::vector<std::string> wakeups_;
};

}  // namespace

std::string ProviderUniqueName() { return "Velmora ticker provider"; }

int ProviderInitialize() {
  if (uint32_t idle = FromEnvironment("VELMORA_TICKER_IDLE", 0)) MonitorPage::SetIdleTimeout(idle);
  if (uint32_t minutes = FromEnvironment("VELMORA_TICKER_HEARTBEAT", 0)) MonitorPage::OverrideHeartbeatInterval(minutes);
  if (!RegisterPage(new TickerPage)) return 1;
  if (auto* status = dynamic_cast<MonitorPage*>(FindPage("/status")))
    status->AddMonitoredItem("pid_timer", "pid_timer", 1, false, false, nullptr);
  return 0;
}

int ProviderPostOptions() { return 0; }
