#include "pages/external_alarm_page.h"

#include <cstdlib>

#include "pages/server_statistics.h"
#include "pages/query_map.h"
#include "pages/query_string_interpretter.h"
#include "runtime/dispatch.h"
#include "runtime/log.h"
#include "runtime/response_writer.h"
#include "runtime/server_loop.h"
#include "xml/xml_node.h"

namespace {
constexpr const char* kReloadItem = "ExternalAlarmPage::ReloadConfig";

void Forward(const std::string& page, const std::string& cookie) {
  ForwardESWakeup(page.c_str(), cookie.c_str());
  TheServerStatistics().AddExternalWakeup();  // counted even when no page serves the path
}
}  // namespace

int ExternalAlarmPage::Get(IOBase* io, const char*, const char*, const char* const*, const char* const*, int, int) {
  Log(64, "ExternalAlarmPage::Get\n");
  SendResponse(io, kStatus400, "", 0, nullptr, nullptr);
  return 400;
}

int ExternalAlarmPage::Post(IOBase* io, const char*, const char* query, const char* const* headerNames,
                            const char* const* headerValues, int, int) {
  QueryMap map(query);
  Log(2048, "ExternalAlarmPage::Post(%s)\n", query != nullptr ? query : "");
  if (map.Has("masterreconfig")) {
    if (std::strtoul(map.Get("masterreconfig").c_str(), nullptr, 10) != 0) {
      AddMonitoredItem(kReloadItem, kReloadItem, 1, false, false, nullptr);
      Log(128, "ExternalAlarmPage::Post matches master reconfig\n");
    }
  } else if (map.Has("alarms")) {
    std::string body;
    if (ReadBody(io, headerNames, headerValues, &body) && !body.empty()) ProcessAlarms(body);
  } else {
    ExternalAlarmCommand command;
    if (command.Match(map)) {
      Log(2048, "ExternalAlarmPage::Post matches command w/page %s, cookie %s\n", command.Page().c_str(),
          command.Cookie().c_str());
      Forward(command.Page(), command.Cookie());
    } else {
      Log(2048, "ExternalAlarmPage::Post did not match\n");
    }
  }
  SendResponse(io, kStatus200, "", 0, nullptr, nullptr);
  return 200;
}

void ExternalAlarmPage::MonitorNow(uint32_t count, const std::string* itemIds) {
  for (uint32_t i = 0; i < count; ++i)
    if (itemIds[i] == kReloadItem) RunReconfiguration();
}

void ExternalAlarmPage::ProcessAlarms(const std::string& body) {
  std::unique_ptr<XMLNode> document;
  if (XMLNode::Parse(body, &document, 0, nullptr, nullptr) != 0) return;
  XMLNode* top = nullptr;
  for (XMLNode* node : document->GetChildren())
    if (node->GetType() == XMLNode::kElement) {
      top = node;
      break;
    }
  if (top != nullptr) {
    for (XMLNode* alarm : top->GetChildren()) {
      if (alarm->GetType() != XMLNode::kElement || alarm->GetName() != "alarm") continue;
      XMLNode* page = nullptr;
      XMLNode* cookie = nullptr;
      if (alarm->FindAttribute(&page, "page") != 0 || alarm->FindAttribute(&cookie, "cookie") != 0) continue;
      const std::string pageText(page->GetValue());
      const std::string cookieText(cookie->GetValue());
      Log(2048, "ExternalAlarmPage::Post finds XML Alarm w/page %s, cookie %s\n", pageText.c_str(),
          cookieText.c_str());
      Forward(pageText, cookieText);
    }
  }
}
