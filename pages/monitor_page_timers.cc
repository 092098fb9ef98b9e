// MonitorPage: timer listings, export and import, and the page's requests
// to the collector (wakeups, documents, event caching).
#include <cstdio>
#include <cstdlib>

#include "pages/monitor_page.h"
#include "pages/provider_error_list.h"
#include "pages/xml_response.h"
#include "runtime/local_request.h"
#include "runtime/log.h"
#include "runtime/no_case.h"
#include "runtime/url_coding.h"
#include "runtime/response_writer.h"
#include "xml/table_writer.h"
#include "xml/xml_accumulator.h"
#include "xml/xml_node.h"

bool MonitorPage::IsTimerStatusRequest(const char* query) {
  Log(512, "MonitorPage::IsTimerStatusRequest\n");
  if (query != nullptr && StartsWithNoCase(query, "timerstatus=")) {
    Log(512, "MonitorPage::IsTimerStatusRequest returns true\n");
    return true;
  }
  Log(512, "MonitorPage::IsTimerStatusRequest returns false\n");
  return false;
}

namespace {

void BuildTimerListing(const MonitoredItemList& items, XMLAccumulator* xml) {
  xml->OpenElement("TIMERS");
  xml->AddAttribute("secondspassed", items.SecondsPassed());
  for (const MonitoredItem& item : items.Items()) {
    xml->OpenElement("TIMER", item.description);
    xml->AddAttribute("ID", item.id);
    xml->AddAttribute("interval", item.interval);
    xml->AddAttribute("remains", item.remains);
    xml->AddAttribute("renews", item.renews ? "1" : "0");
    xml->AddAttribute("initial", item.initial ? "1" : "0");
    xml->CloseElement();
  }
  xml->CloseElement();
}

}  // namespace

int MonitorPage::ReplyWithTimerStatus(IOBase* io) {
  Log(512, "MonitorPage::ReplyWithTimerStatus\n");
  XMLAccumulator xml;
  BuildTimerListing(items_, &xml);
  ProviderErrorList noErrors;
  WriteXmlResponse(io, kStatus200, &noErrors, &xml, nullptr, nullptr);
  return 200;
}

void MonitorPage::GetTimersXML(std::string* out) {
  XMLAccumulator xml;
  BuildTimerListing(items_, &xml);
  xml.GetXML(out, 0);
}

void MonitorPage::ExportMonitoredItems(std::string* out) {
  TableWriter table;
  table.BeginTable("monitorexport");
  for (const MonitoredItem& item : items_.Items()) {
    table.BeginRow();
    table.Cell(item.id);
    table.Cell(item.description);
    table.Cell(item.interval);
    table.Cell(item.remains);
    table.EndRow();
  }
  table.EndTable();
  *out = table.Text();
}

void MonitorPage::ImportMonitoredItems(const std::string& text, bool reset) {
  std::unique_ptr<XMLNode> document;
  if (XMLNode::Parse(text, &document, 0, nullptr, nullptr) != 0) return;
  // The table is the document's first element; its rows are "tr" elements
  // holding "td" cells.
  for (XMLNode* table : document->GetChildren()) {
    if (table->GetType() != XMLNode::kElement) continue;
    for (XMLNode* row : table->GetChildren()) {
      if (row->GetType() != XMLNode::kElement || !XMLNamesEqual(row->GetName(), "tr")) continue;
      std::vector<std::string> cells;
      for (XMLNode* cell : row->GetChildren())
        if (cell->GetType() == XMLNode::kElement && XMLNamesEqual(cell->GetName(), "td"))
          cells.emplace_back(cell->GetValue());
      if (cells.size() != 4) continue;
      uint32_t interval = static_cast<uint32_t>(std::strtoul(cells[2].c_str(), nullptr, 10));
      if (interval == 0) continue;
      uint32_t remains = reset ? 0 : static_cast<uint32_t>(std::strtoul(cells[3].c_str(), nullptr, 10));
      items_.Insert(MonitoredItem{cells[0], cells[1], interval, remains, true, false});
    }
    break;
  }
}

bool MonitorPage::SendESCommand(const char* command, const char* cookie, uint32_t delaySeconds, uint32_t* result) {
  Log(2048, "MonitorPage::SendESCommand command %s cookie %s interval %u\n", command, cookie, delaySeconds);
  char delay[16];
  snprintf(delay, sizeof delay, "%u", delaySeconds);
  std::string target = std::string("/extschedule?cmd=") + command + "&page=" + UrlEncode(GetPath()) +
                       "&cookie=" + UrlEncode(cookie) + "&delay=" + delay;
  Log(2048, "MonitorPage::SendESCommand Requesting document: %s\n", target.c_str());
  std::string reply;
  int status = RequestCollectorDocument("post", target, "", 10, &reply);
  if (status != 200) {
    Log(2048, "MonitorPage::SendESCommand  gets collector response %d (not ok)\n", status);
    return false;
  }
  Log(2048, "MonitorPage::SendESCommand  gets collector response HTTP_OK\n");
  if (result != nullptr) {
    *result = kItemCommError;
    if (!reply.empty()) {
      Log(2048, "MonitorPage::SendESCommand reply body %s\n", reply.c_str());
      *result = ItemResultFromWord(reply.c_str());
    }
  }
  return true;
}

bool MonitorPage::ScheduleWakeup(const char* cookie, uint32_t delaySeconds, uint32_t* result) {
  return SendESCommand("add", cookie, delaySeconds, result);
}

bool MonitorPage::ScheduleRepeatingWakeup(const char* cookie, uint32_t delaySeconds, uint32_t* result) {
  return SendESCommand("addrenew", cookie, delaySeconds, result);
}

bool MonitorPage::ModifyWakeup(const char* cookie, uint32_t delaySeconds, uint32_t* result) {
  return SendESCommand("mod", cookie, delaySeconds, result);
}

bool MonitorPage::CancelWakeup(const char* cookie, uint32_t* result) { return SendESCommand("del", cookie, 0, result); }

int MonitorPage::RequestDocumentFromCollector(const char* path, int verb, const char* query, const std::string& body,
                                              std::string* reply, int timeoutSeconds) {
  Log(128, "MonitorPage::RequestDocumentFromCollector(); querystring: %s\n", query != nullptr ? query : "");
  const char* method = "get";
  if (verb == 2) {
    Log(32, "MonitorPage::RequestDocumentFromCollector(); POST verb seen\n");
    method = "post";
  } else {
    if (verb != 1) Log(32, "MonitorPage::RequestDocumentFromCollector called with unsupported verb; defaulting to 'get'\n");
    Log(32, "MonitorPage::RequestDocumentFromCollector(); GET verb seen\n");
  }
  std::string target = path;
  if (query != nullptr && query[0] != '\0') target += std::string("?") + query;
  Log(128, "MonitorPage::RequestDocumentFromCollector Requesting document: %s\n", target.c_str());
  int status = RequestCollectorDocument(method, target, body, timeoutSeconds, reply);
  Log(128, "MonitorPage::RequestDocumentFromCollector(); status code: %d\n", status);
  return status;
}

namespace {
std::string EventQuery(const char* publisher, const char* facility, const char* type, const char* version) {
  return std::string("publisher=") + publisher + "&" + "facility=" + facility + "&" + "type=" + type + "&" +
         "version=" + version;
}
}  // namespace

int MonitorPage::CacheEventData(const char* publisher, const char* facility, const char* type, const char* version,
                                const std::string& body) {
  Log(128, "MonitorPage::CacheEventData();");
  std::string query = EventQuery(publisher, facility, type, version);
  Log(128, "MonitorPage::CacheEventData(); querystring: %s\n", query.c_str());
  int status = RequestDocumentFromCollector("/Historian/CacheEvent", 2, query.c_str(), body, nullptr, 10);
  Log(128, "MonitorPage::CacheEventData(); status code: %d\n", status);
  return status;
}

int MonitorPage::CacheEventFile(const char* publisher, const char* facility, const char* type, const char* version,
                                const char* filePath) {
  Log(128, "MonitorPage::CacheEventFile();");
  std::string query = EventQuery(publisher, facility, type, version) + "&" + "file_path=" + filePath;
  Log(128, "MonitorPage::CacheEventFile(); querystring: %s\n", query.c_str());
  int status = RequestDocumentFromCollector("/Historian/CacheEventFile", 1, query.c_str(), "", nullptr, 10);
  Log(128, "MonitorPage::CacheEventFile(); status code: %d\n", status);
  return status;
}
