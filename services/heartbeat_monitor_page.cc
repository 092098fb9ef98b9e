#include "services/heartbeat_monitor_page.h"

#include <cstdlib>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

#include "collector/collector_config.h"
#include "collector/inventory_page.h"
#include "collector/provider_map.h"
#include "pages/query_map.h"
#include "platform/signals.h"
#include "runtime/log.h"
#include "runtime/provider_con.h"
#include "runtime/response_writer.h"
#include "runtime/start_thread.h"
#include "services/heartbeat_threads.h"
#include "xml/xml_accumulator.h"

namespace {

constexpr uint32_t kDelayTable[] = {1, 2, 3, 6, 8};
constexpr size_t kDelayCount = sizeof kDelayTable / sizeof kDelayTable[0];
constexpr int32_t kDefaultMinutes = 5;
constexpr const char* kDelayPrefix = "randomize:";
constexpr size_t kDelayPrefixLength = 10;

bool HeartbeatsEnabled() { return TheCollectorOptions().heartbeatsEnabled; }

// Heartbeats stop once the collector's shutdown has begun: a provider being
// asked to stop must not be relaunched.
bool HeartbeatsBlocked() { return platform::SystemShutdownPending(); }

int Answer(IOBase* io, const char* status, int code, const std::string& body = std::string()) {
  MonitorPage::SendResponse(io, status, body.data(), static_cast<uint32_t>(body.size()), nullptr, nullptr);
  return code;
}

int32_t Number(const std::string& text) { return static_cast<int32_t>(strtol(text.c_str(), nullptr, 10)); }

bool IsDelayCookie(const std::string& name) { return name.compare(0, kDelayPrefixLength, kDelayPrefix) == 0; }

// The first provider (in name order) whose record has `port`.
CProviderCon* FindByPort(const ProviderCopies& providers, uint32_t port) {
  for (const auto& [name, con] : providers)
    if (con->Port() == port) return con.get();
  return nullptr;
}

// A copy of the record of the provider on `port`, from a fresh snapshot.
std::unique_ptr<CProviderCon> CopyByPort(uint32_t port) {
  ProviderCopies snapshot;
  ProviderMap::Instance().copyProviders(&snapshot);
  CProviderCon* found = FindByPort(snapshot, port);
  if (found == nullptr) {
    Log(2, "HeartbeatMonitorPage::MonitorNow found no provider matching port %u\n", port);
    return nullptr;
  }
  return std::make_unique<CProviderCon>(*found);
}

// The process id the provider last reported to "/inventory"; 0 when none.
uint32_t RecordedPid(const char* name) {
  InventoryPage* inventory = TheInventoryPage();
  if (inventory == nullptr) return 0;
  ProviderRecords records = inventory->SnapshotRecords();
  auto it = records.find(name);
  if (it == records.end()) return 0;
  long pid = strtol(it->second.lastpid.c_str(), nullptr, 10);
  return pid > 1 ? static_cast<uint32_t>(pid) : 0;
}

}  // namespace

uint32_t HeartbeatSeconds(int32_t minutes) {
  int64_t seconds = static_cast<int64_t>(minutes) * 60;
  if (seconds < 0) return 0;
  const int64_t most = std::numeric_limits<uint32_t>::max();
  return static_cast<uint32_t>(seconds > most ? most : seconds);
}

ServedPage* HeartbeatMonitorPage::Create(const char* path, bool hidden) {
  return new HeartbeatMonitorPage(path, hidden);
}

uint32_t HeartbeatMonitorPage::WriteIndexEntry(XMLAccumulator* xml, const char* path) {
  WriteIndexEntryRow(xml, path, "collector", "ready");
  return 0;
}

bool HeartbeatMonitorPage::ForkOnRequest(const char*, const char*, const char* const*, const char* const*,
                                         int kind) {
  return kind != 2;
}

uint32_t HeartbeatMonitorPage::NextDelay() {
  uint32_t delay = kDelayTable[delayIndex_];
  delayIndex_ = (delayIndex_ + 1) % kDelayCount;
  return delay;
}

int HeartbeatMonitorPage::Post(IOBase* io, const char*, const char* query, const char* const*,
                               const char* const*, int, int) {
  const char* text = query != nullptr ? query : "";
  if (!HeartbeatsEnabled()) {
    Log(4096, "Heartbeating disabled; request ignored [%s]\n", text);
    return Answer(io, kStatus200, 200);
  }
  QueryMap map(text);
  if (map.Has("port")) {
    const std::string portText = map.Get("port");
    int32_t port = Number(portText);
    if (port < 1) return Answer(io, kStatus400, 400);
    int32_t minutes = kDefaultMinutes;
    int32_t given = Number(map.Get("interval"));
    if (given > 0) minutes = given;
    HeartbeatCommand(portText, port, minutes, map.Has("cancel"));
    return Answer(io, kStatus200, 200);
  }
  if (map.Has("recover") && map.Has("target")) {
    const std::string target = map.Get("target");
    Log(4096, "Heartbeat monitor page receives request to crash recover %s\n", target.c_str());
    InitiateRecovery(target);
    return Answer(io, kStatus200, 200);
  }
  return Answer(io, kStatus400, 400);
}

void HeartbeatMonitorPage::HeartbeatCommand(const std::string& portText, int32_t port, int32_t minutes,
                                            bool cancel) {
  bool found = false;
  if (cancel) {
    Log(4096, "SendHeartbeat cancel request recieved for port %u\n", static_cast<uint32_t>(port));
    RemoveMonitoredItem(portText.c_str(), &found);
    intervals_.erase(port);
    return;
  }
  // A new registration restarts the sequence: the running heartbeat goes
  // now and comes back when the new delay falls due.
  RemoveMonitoredItem(portText.c_str(), &found);
  intervals_[port] = minutes;
  Log(4096, "HeartbeatMonitorPage::Post sets interval for port %u to %d\n", static_cast<uint32_t>(port), minutes);
  uint32_t delay = NextDelay();
  const std::string cookie = kDelayPrefix + portText;
  uint32_t result = 0;
  AddMonitoredItem(cookie.c_str(), cookie.c_str(), delay, false, false, &result);
  Log(4096, "SendHeartbeat requested for port %u at %d minutes; delayed %u\n", static_cast<uint32_t>(port),
      minutes, delay);
}

void HeartbeatMonitorPage::MonitorNow(uint32_t count, const std::string* itemIds) {
  if (HeartbeatsBlocked()) {
    Log(4096, "HeartbeatMonitorPage::MonitorNow Heartbeating blocked for pending shutdown\n");
    return;
  }
  ProviderCopies snapshot;
  ProviderMap::Instance().copyProviders(&snapshot);
  for (uint32_t i = 0; i < count; ++i) {
    const std::string& name = itemIds[i];
    if (IsDelayCookie(name)) {
      const std::string portText = name.substr(kDelayPrefixLength);
      auto it = intervals_.find(Number(portText));
      if (it == intervals_.end()) {
        Log(2, "HeartbeatMonitorPage::MonitorNow delay cookie %s has no interval; discarded\n", name.c_str());
        continue;
      }
      Log(4096, "HeartbeatMonitorPage::MonitorNow add port after delay cookie %s, interval %u\n", name.c_str(),
          static_cast<uint32_t>(it->second));
      bool found = false;
      RemoveMonitoredItem(portText.c_str(), &found);
      uint32_t result = 0;
      AddMonitoredItem(portText.c_str(), portText.c_str(), HeartbeatSeconds(it->second), true, false, &result);
      continue;
    }
    const uint32_t port = static_cast<uint32_t>(Number(name));
    CProviderCon* provider = FindByPort(snapshot, port);
    if (provider == nullptr) {
      Log(2, "HeartbeatMonitorPage::MonitorNow found no provider matching port %s\n", name.c_str());
      continue;
    }
    Log(4096, "HeartbeatMonitorPage::MonitorNow matches port %u to provider %s\n", port, provider->Name());
    auto copy = std::make_shared<std::unique_ptr<CProviderCon>>(std::make_unique<CProviderCon>(*provider));
    uint32_t pid = RecordedPid(provider->Name());
    if (!TryStartThread([copy, pid] { SendHeartbeat(std::move(*copy), pid); }))
      Log(1, "Unable to create SendHeartbeat thread for %s:%s\n", provider->Name(), name.c_str());
  }
}

void HeartbeatMonitorPage::InitiateRecovery(const std::string& target) {
  const uint32_t port = static_cast<uint32_t>(Number(target));
  std::unique_ptr<CProviderCon> con = CopyByPort(port);
  if (con == nullptr) {
    Log(2, "HeartMon::InitiateRecovery coulnd't find provider con matching port %u\n", port);
    return;
  }
  Log(8, "updating recovery attempts map\n");
  Lock();
  ++attempts_[con->Name()];
  Unlock();
  con->LaunchData().crashRecovery = true;
  const std::string name = con->Name();
  auto copy = std::make_shared<std::unique_ptr<CProviderCon>>(std::move(con));
  if (!TryStartThread([copy] { RecoveryLaunch(std::move(*copy)); }))
    Log(1, "Unable to create RecoveryLaunch thread for %s\n", name.c_str());
}

std::map<std::string, uint32_t> HeartbeatMonitorPage::RecoveryAttempts() {
  Lock();
  std::map<std::string, uint32_t> copy = attempts_;
  Unlock();
  return copy;
}

int HeartbeatMonitorPage::Get(IOBase* io, const char*, const char* query, const char* const*,
                              const char* const*, int, int) {
  XMLAccumulator xml;
  if (!HeartbeatsEnabled()) {
    xml.AddElement("heartbeats-disabled");
    std::string body;
    xml.GetXML(&body, 1);
    return Answer(io, kStatus200, 200, body);
  }
  if (IsTimerStatusRequest(query)) return ReplyWithTimerStatus(io);
  // The item list keeps its own mutex; Items() is a copy taken under it.
  const uint32_t elapsed = Items().SecondsPassed();
  std::vector<MonitoredItem> items = Items().Items();
  ProviderCopies providers;
  ProviderMap::Instance().copyProviders(&providers);
  xml.OpenElement("heartbeats");
  xml.AddAttribute("elapsed", elapsed);
  for (const MonitoredItem& item : items) {
    const bool delay = IsDelayCookie(item.id);
    const std::string portText = delay ? item.id.substr(kDelayPrefixLength) : item.id;
    xml.OpenElement(delay ? "heartbeatdelay" : "heartbeat");
    CProviderCon* provider = FindByPort(providers, static_cast<uint32_t>(Number(portText)));
    if (provider != nullptr) xml.AddAttribute("file", provider->Name());
    xml.AddAttribute("port", portText);
    xml.AddAttribute("interval", item.interval);
    xml.AddAttribute("remains", item.remains > elapsed ? item.remains - elapsed : 0u);
    xml.CloseElement();
  }
  Log(8, "processing recovery attempts map\n");
  for (const auto& [name, count] : RecoveryAttempts()) {
    xml.OpenElement("recovery-attempt");
    xml.AddAttribute("file", name);
    xml.AddAttribute("count", count);
    xml.CloseElement();
  }
  xml.CloseElement();
  std::string body;
  xml.GetXML(&body, 1);
  return Answer(io, kStatus200, 200, body);
}
