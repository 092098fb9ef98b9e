#include "pages/index_page.h"

#include <cstring>
#include <map>
#include <string>

#include "runtime/dispatch.h"
#include "runtime/log.h"
#include "runtime/monitor_server.h"
#include "runtime/response_writer.h"
#include "runtime/served_page.h"
#include "xml/xml_accumulator.h"

namespace {

// Attributes of the index document's table element, filled once.
XMLAttributeMap& IndexAttributes() {
  static XMLAttributeMap* attributes = new XMLAttributeMap;
  return *attributes;
}

}  // namespace

IndexPage::IndexPage() : MonitorPage("/index", true) {
  XMLAttributeMap& attributes = IndexAttributes();
  if (attributes.empty()) {
    attributes["version"] = kInterfaceVersion;
    attributes["date"] = "9 Feb 2007";
  }
}

void IndexPage::OverrideVersion(const char* version) { IndexAttributes()["version"] = version; }

int IndexPage::Get(IOBase* io, const char*, const char* query, const char* const*, const char* const*, int, int) {
  MonitorServer& server = TheServer();
  if (query != nullptr && !CollectorRequestSeen() && strcmp(query, "collectorrequest=1") == 0) {
    Log(32, "IndexPage::Initial index page request from collector\n");
    CollectorRequestSeen() = true;
  }
  XMLAccumulator xml;
  Log(64, "IndexPage::Get index page requested\n");
  if (server.isCollector) {
    char version[64];
    if (snprintf(version, sizeof version, "Interface version %s\n", kInterfaceVersion) > 0) {
      xml.AddElement("h1", "Collector Index");
      xml.AddElement("h4", "Pages of this collector and of the providers it knows");
      xml.AddElement("h4", version);
    }
  }
  xml.OpenElement("table", {}, &IndexAttributes());
  if (server.lateInitDone) xml.AddAttribute("lateinitdone", "1");
  if (server.isCollector) {
    xml.OpenElement("tr");
    for (const char* heading : {"Page", "State", "Provider"}) {
      xml.OpenElement("td");
      xml.AddElement("b", heading);
      xml.CloseElement();
    }
    xml.CloseElement();
  }
  for (auto& [path, page] : server.pages) {
    if (page->IsHidden()) continue;
    if (auto* monitorPage = dynamic_cast<MonitorPage*>(page.get())) monitorPage->WriteIndexEntry(&xml, path.c_str());
  }
  xml.CloseElement();
  std::string body;
  xml.GetXML(&body, 0);
  SendResponse(io, kStatus200, body.data(), static_cast<uint32_t>(body.size()), nullptr, nullptr);
  return 200;
}
