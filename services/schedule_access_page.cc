#include "services/schedule_access_page.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "collector/collector_statistics.h"
#include "collector/provider_map.h"
#include "pages/query_map.h"
#include "platform/clock.h"
#include "platform/signals.h"
#include "runtime/log.h"
#include "runtime/monitor_server.h"
#include "runtime/response_writer.h"
#include "runtime/start_thread.h"
#include "runtime/url_coding.h"
#include "runtime/url_parse.h"
#include "services/schedule_command.h"
#include "services/scheduler_cookie.h"
#include "xml/xml_accumulator.h"

namespace {

constexpr int kWakeupTimeoutSeconds = 10;
constexpr int kWakeupAttempts = 3;
constexpr uint32_t kRetryPauseMs = 1000;

// Hands the request to a delivery thread of its own.
void StartWakeupThread(std::unique_ptr<WakeupRequest> request) {
  auto shared = std::make_shared<std::unique_ptr<WakeupRequest>>(std::move(request));
  if (!TryStartThread([shared] { WakeupFunction(std::move(*shared)); }))
    Log(1, "Unable to create WakeupFunction thread errno=%d\n", errno);
}

// A copy of the record of the provider serving `page`; null when none does.
std::unique_ptr<CProviderCon> ProviderFor(const std::string& page) {
  std::unique_ptr<CProviderCon> copy;
  uint32_t state = 0;
  if (!ProviderMap::Instance().copyProviderForPage(page.c_str(), &copy, &state)) return nullptr;
  return copy;
}

}  // namespace

ScheduleAccessPage::ScheduleAccessPage(const char* path, bool hidden) : MonitorPage(path, hidden) {}

ServedPage* ScheduleAccessPage::Create(const char* path, bool hidden) { return new ScheduleAccessPage(path, hidden); }

bool ScheduleAccessPage::WakeupsBlocked() {
  return platform::SystemShutdownPending() || TheServer().signals.shutdownRequested.load();
}

bool ScheduleAccessPage::ForkOnRequest(const char*, const char*, const char* const*, const char* const*, int kind) {
  return kind == URLParse::kVerbGet;
}

int ScheduleAccessPage::Get(IOBase* io, const char*, const char* query, const char* const*, const char* const*, int,
                            int) {
  Log(2048, "ScheduleAccessPage::Get\n");
  if (IsTimerStatusRequest(query)) return ReplyWithTimerStatus(io);
  XMLAccumulator xml;
  xml.OpenElement("TIMERS");
  xml.AddAttribute("secondsAccumulated", Items().SecondsPassed());
  for (const MonitoredItem& item : Items().Items()) {
    std::string page;
    std::string cookie;
    DecomposeSchedulerCookie(item.id, nullptr, &page, &cookie);
    xml.OpenElement("TIMER");
    xml.AddAttribute("page", page);
    xml.AddAttribute("cookie", cookie);
    xml.AddAttribute("interval", item.interval);
    xml.AddAttribute("remains", item.remains);
    xml.AddAttribute("renews", item.renews ? "1" : "0");
    xml.AddAttribute("initial", item.initial ? "1" : "0");
    xml.CloseElement();
  }
  xml.CloseElement();
  std::string body;
  xml.GetXML(&body, 1);
  SendResponse(io, kStatus200, body.data(), static_cast<uint32_t>(body.size()), nullptr, nullptr);
  return 200;
}

int ScheduleAccessPage::Post(IOBase* io, const char*, const char* query, const char* const*, const char* const*,
                             int, int) {
  Log(4, "ScheduleAccessPage::Post (querystring %s)\n", query != nullptr ? query : "");
  ScheduleCommand command;
  if (!command.Match(QueryMap(query))) {
    Log(2048, "ScheduleAccessPage::Post request not matched\n");
    SendResponse(io, kStatus400, "", 0, nullptr, nullptr);
    return 400;
  }
  Log(2048, "ScheduleAccessPage::Matched ScheduleCommand [page:%s, cookie:%s, delay:%u]\n", command.Page().c_str(),
      command.Cookie().c_str(), command.Delay());
  uint32_t result = kItemNone;
  if (WakeupsBlocked()) {
    Log(2048, "ScheduleAccessPage::Matched ScheduleCommand ignored; wakeups are blocked\n");
  } else {
    const std::string composite = MakeSchedulerCookie(command.Page(), command.Cookie());
    Log(2048, "ScheduleAccessPage::MakeSchedulerCookie result is %s\n", composite.c_str());
    switch (command.CommandCode()) {
      case ScheduleCommand::kAdd:
      case ScheduleCommand::kAddRenew:
        AddMonitoredItem(composite.c_str(), composite.c_str(), command.Delay(),
                         command.CommandCode() == ScheduleCommand::kAddRenew, false, &result);
        break;
      case ScheduleCommand::kDel:
        result = RemoveMonitoredItem(composite.c_str(), nullptr) ? kItemDeleted : kItemNone;
        break;
      case ScheduleCommand::kMod:
        ModifyMonitoredItem(composite.c_str(), command.Delay(), &result);
        break;
      default:
        break;
    }
  }
  const char* word = ItemResultWord(result);
  SendResponse(io, kStatus200, word, static_cast<uint32_t>(strlen(word)), nullptr, nullptr);
  return 200;
}

void ScheduleAccessPage::MonitorNow(uint32_t count, const std::string* itemIds) {
  Log(2048, "ScheduleAccessPage::MonitorNow has %d items\n", static_cast<int>(count));
  if (WakeupsBlocked()) {
    Log(2048, "ScheduleAccessPage::MonitorNow wakeups are blocked\n");
    return;
  }
  if (count == 1) {
    Log(2048, "ScheduleAccessPage::MonitorNow %s\n", itemIds[0].c_str());
    std::string page;
    std::string cookie;
    DecomposeSchedulerCookie(itemIds[0], nullptr, &page, &cookie);
    SendWakeup(page, cookie);
    return;
  }
  // Provider name + composite, so that one provider's alarms sort together.
  std::vector<std::string> entries;
  for (uint32_t i = 0; i < count; ++i) {
    std::string page;
    DecomposeSchedulerCookie(itemIds[i], nullptr, &page, nullptr);
    std::string provider;
    if (!ProviderMap::Instance().findProviderName(page.c_str(), &provider)) {
      Log(2, "Couldn't finding a matching provider for page %s; alarm dropped!\n", page.c_str());
      continue;
    }
    entries.push_back(provider + itemIds[i]);
  }
  std::sort(entries.begin(), entries.end(), std::greater<std::string>());
  const size_t n = entries.size();
  std::vector<std::string> providers(n), pages(n), cookies(n);
  for (size_t i = 0; i < n; ++i) {
    DecomposeSchedulerCookie(entries[i], &providers[i], &pages[i], &cookies[i]);
    Log(2048, "ScheduleAccessPage::MonitorNow %s:%s:%s\n", providers[i].c_str(), pages[i].c_str(),
        cookies[i].c_str());
  }
  for (size_t i = 0; i < n;) {
    size_t run = 1;
    while (i + run < n && providers[i + run] == providers[i]) ++run;
    const std::string xml = XMLForAlarms(&pages[i], &cookies[i], static_cast<uint32_t>(run));
    SendWakeup2(pages[i], xml, static_cast<uint32_t>(run));
    i += run;
  }
}

void ScheduleAccessPage::SendWakeup(const std::string& page, const std::string& cookie) {
  auto request = std::make_unique<WakeupRequest>();
  request->provider = ProviderFor(page);
  if (request->provider == nullptr) {
    Log(2048, "ScheduleAccessPage::SendWakeup couldn't find %s\n", page.c_str());
    return;
  }
  const std::string encoded = UrlEncode(cookie);
  Log(2048, "ScheduleAccessPage::SendWakeup found %s\n", page.c_str());
  request->uri = "/extalarm?page=" + page + "&cookie=" + encoded;
  Log(2048, "ScheduleAccessPage::SendWakeup Request URI %s\n", request->uri.c_str());
  TheCollectorStatistics().AddWakeups(1);
  StartWakeupThread(std::move(request));
}

void ScheduleAccessPage::SendWakeup2(const std::string& page, const std::string& xml, uint32_t count) {
  auto request = std::make_unique<WakeupRequest>();
  request->provider = ProviderFor(page);
  if (request->provider == nullptr) return;
  Log(2048, "ScheduleAccessPage::SendWakeup2 found page %s for %u alarms\n", page.c_str(), count);
  request->uri = "/extalarm?alarms=1";
  Log(2048, "ScheduleAccessPage::SendWakeup2 Request URI %s\n", request->uri.c_str());
  request->body = xml;
  TheCollectorStatistics().AddWakeups(count);
  StartWakeupThread(std::move(request));
}

std::string XMLForAlarms(const std::string* pages, const std::string* cookies, uint32_t count) {
  Log(2048, "XMLForAlarms composes XML for %d alarms\n", static_cast<int>(count));
  XMLAccumulator xml;
  xml.OpenElement("alarms");
  for (uint32_t i = 0; i < count; ++i) {
    Log(2048, "XMLForAlarms composes XML alarm to page %s, cookie %s\n", pages[i].c_str(), cookies[i].c_str());
    xml.OpenElement("alarm");
    xml.AddAttribute("page", pages[i]);
    xml.AddAttribute("cookie", cookies[i]);
    xml.CloseElement();
  }
  xml.CloseElement();
  std::string out;
  xml.GetXML(&out, -1);
  Log(2048, "XMLForAlarms exits\n");
  return out;
}

void WakeupFunction(std::unique_ptr<WakeupRequest> request) {
  Log(4, "SchedulePage::WakeupFunction\n");
  CProviderCon* provider = request->provider.get();
  provider->SetVerb("post");
  for (int attempt = 1;; ++attempt) {
    Log(2048, "Post() Requesting document: %s\n", request->uri.c_str());
    const int status = provider->requestDocument(request->uri.c_str(), request->body, true, kWakeupTimeoutSeconds);
    Log(2048, "Result is: %d\n", status);
    if (status != 500) break;
    if (attempt >= kWakeupAttempts) {
      Log(2048, "retry limit reached; this one goes to the bit bucket\n");
      break;
    }
    Log(2048, "Sleep & retry\n");
    platform::SleepMs(kRetryPauseMs);
  }
}
