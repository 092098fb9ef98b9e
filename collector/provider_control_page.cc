#include "collector/provider_control_page.h"

#include "collector/inventory_page.h"
#include "collector/provider_map.h"
#include "collector/relaunch_limit.h"
#include "pages/query_map.h"
#include "runtime/log.h"
#include "runtime/provider_con.h"
#include "runtime/response_writer.h"
#include "runtime/self_request.h"
#include "xml/xml_accumulator.h"

namespace {

constexpr int kRequestTimeoutSeconds = 10;

// Posts `uri` through the snapshot's record of `name`, launching the
// provider when it does not answer; -1 when there is no such provider.
int32_t PostToProvider(const std::string& name, const char* uri, const char* logLine) {
  ProviderCopies snapshot;
  ProviderMap::Instance().copyProviders(&snapshot);
  auto it = snapshot.find(name);
  if (it == snapshot.end()) return -1;
  Log(8, logLine, name.c_str());
  CProviderCon* provider = it->second.get();
  provider->SetVerb("post");
  return provider->requestDocument(uri, "", true, kRequestTimeoutSeconds);
}

}  // namespace

ServedPage* ProviderControlPage::Create(const char* path, bool hidden) {
  return new ProviderControlPage(path, hidden);
}

int ProviderControlPage::Get(IOBase* io, const char*, const char*, const char* const*, const char* const*, int,
                             int) {
  SendResponse(io, kStatus200, nullptr, 0, nullptr, nullptr);
  return 200;
}

uint32_t ProviderControlPage::WriteIndexEntry(XMLAccumulator* xml, const char* path) {
  WriteIndexEntryRow(xml, path, "collector", "ready");
  return 0;
}

int ProviderControlPage::Post(IOBase* io, const char*, const char* query, const char* const*, const char* const*,
                              int, int) {
  Log(4, "ProviderControlPage::Post %s.\n", query != nullptr ? query : "");
  QueryMap map(query);
  const std::string name = map.Get("name");
  const std::string command = map.Get("cmd");
  const bool stop = command == "stop";
  if (!map.Has("name") || !(stop || command == "start") || !IsSafeProviderName(name)) {
    SendResponse(io, kStatus400, "", 0, nullptr, nullptr);
    return 400;
  }
  int32_t outcome = 0;
  if (stop) {
    Log(8, "ProviderControlPage::Post matched request to stop provider %s\n", name.c_str());
    outcome = ShutdownProvider(name);
  } else {
    outcome = StartProvider(name);
  }
  XMLAccumulator xml;
  xml.OpenElement(stop ? "shutdownrequest" : "startrequest");
  xml.AddAttribute("provider", name);
  xml.AddAttribute("result", static_cast<int>(outcome));
  xml.CloseElement();
  std::string body;
  xml.GetXML(&body, 1);
  SendResponse(io, kStatus200, body.data(), static_cast<uint32_t>(body.size()), nullptr, nullptr);
  return 200;
}

int32_t ProviderControlPage::ShutdownProvider(const std::string& name) {
  Log(4, "ProviderControlPage::ShutdownProvider %s\n", name.c_str());
  int32_t outcome = PostToProvider(name, "/shutdown?provcon=1",
                                   "ProviderControlPage::ShutdownProvider requests shutdown for %s\n");
  if (outcome == -1) return -1;
  std::string uri = "/inventory?removestart=" + name;
  Log(8, "ProviderControlPage::ShutdownProvider does internal post %s\n", uri.c_str());
  int status = InternalRequest("post", uri.c_str(), "", nullptr);
  Log(8, "ProviderControlPage::ShutdownProvider internal post response %d\n", status);
  return outcome;
}

int32_t ProviderControlPage::StartProvider(const std::string& name) {
  Log(4, "ProviderControlPage::StartProvider %s\n", name.c_str());
  TheRelaunchLimit().Clear(name);  // a start by hand tries again
  return PostToProvider(name, "/index", "ProviderControlPage::StartProvider requests index for %s\n");
}
