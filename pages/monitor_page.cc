#include "pages/monitor_page.h"

#include "runtime/no_case.h"

#include "pages/server_statistics.h"
#include "pages/xml_response.h"
#include "runtime/heartbeat.h"
#include "runtime/log.h"
#include "runtime/monitor_server.h"
#include "runtime/page_registry.h"
#include "runtime/process_globals.h"
#include "runtime/request_reader.h"
#include "runtime/response_writer.h"
#include "runtime/self_request.h"
#include "platform/signals.h"
#include "runtime/server_signal.h"
#include "xml/xml_accumulator.h"

MonitorPage::MonitorPage(const char* path, bool hidden) : path_(path), hidden_(hidden) { InitializeLock(); }

MonitorPage::~MonitorPage() {
  cookies_.Term();
  DeleteLock();
}

uint32_t MonitorPage::RegisterWithServer() { return static_cast<uint32_t>(AddPage(path_, this)); }

uint32_t MonitorPage::Initialize() { return 0; }

void MonitorPage::CleanUp() {}

int MonitorPage::GetEx(IOBase*, const char*, const char*, const char* const*, const char* const*, int, int, void*,
                       void*) {
  return 500;
}

int MonitorPage::Get(IOBase* io, const char* path, const char*, const char* const*, const char* const*, int, int) {
  Log(64, "MonitorPage::Get default function called with path %s\n", path);
  StandardResponse(io, kStatus200, nullptr, 0, nullptr, nullptr);
  return 200;
}

uint32_t MonitorPage::WriteIndexEntry(XMLAccumulator* xml, const char* path) {
  WriteIndexEntryXML(xml, path, nullptr, false, nullptr, nullptr, nullptr);
  return 0;
}

int MonitorPage::PostEx(IOBase*, const char*, const char*, const char* const*, const char* const*, int, int, void*,
                        void*) {
  return 500;
}

int MonitorPage::Post(IOBase* io, const char* path, const char*, const char* const*, const char* const*, int, int) {
  Log(64, "MonitorPage::Post default function called with path %s\n", path);
  StandardResponse(io, kStatus405, nullptr, 0, nullptr, nullptr);
  return 405;
}

uint32_t MonitorPage::GetScheduleState(uint32_t*) { return 0; }

bool MonitorPage::ForkOnRequest(const char*, const char*, const char* const*, const char* const*, int) {
  Log(128, "Default ForkOnRequest returns true\n");
  return true;
}

void MonitorPage::Reconfig() {}

void MonitorPage::OnShutdown() { workers_.WaitForAll(); }

void MonitorPage::OnProvConShutdown() {}

void MonitorPage::MonitorNow(uint32_t count, const std::string* itemIds) {
  for (uint32_t i = 0; i < count; ++i) Log(512, "Time to monitor item %s\n", itemIds[i].c_str());
}

bool MonitorPage::TimersTriggerHeartbeating() { return !items_.Empty(); }

void MonitorPage::ExternalWakeupRecieved(const char* itemId) {
  Log(2048, "MonitorPage::ExternalWakeupRecieved itemID is %s\n", itemId);
}

uint32_t MonitorPage::SecondsToNextTimer() { return items_.SecondsToNext(); }

bool MonitorPage::IsIdle() {
  if (items_.Active() && !items_.Empty()) return false;
  if (workers_.Empty()) return true;
  return workers_.Maintenance() == 0;
}

MonitorMetadata MonitorPage::GetMetadata() { return MonitorMetadata(); }

uint32_t MonitorPage::LateInitialize() {
  if (initialized_) return 0;
  initialized_ = true;
  return Initialize();
}

void MonitorPage::OnPreShutdown() {
  Log(128, "MonitorPage::OnPreShutdown requesting worker functions to finish\n");
  workers_.RequestExitAll();
}

void MonitorPage::ServiceTimers(uint32_t elapsed) {
  std::vector<std::string> due = items_.Expire(elapsed);
  if (due.empty()) return;
  MonitorNow(static_cast<uint32_t>(due.size()), due.data());
  TheServerStatistics().AddTimerServiced(static_cast<uint32_t>(due.size()));
  if (items_.Empty()) RecheckHeartbeat();
}

bool MonitorPage::IsMetadataRequest(const char* query) {
  return query != nullptr && StartsWithNoCase(query, "requestmetadata=");
}

int MonitorPage::ReplyWithMetadata(IOBase* io) {
  XMLAccumulator xml;
  std::string text;
  GetMetadata().WriteXML(&xml);
  // Indented for a person at a console, compact on the wire.
  xml.GetXML(&text, io->Type() == IOBase::kTypeStdio ? 0 : -1);
  StandardResponse(io, kStatus200, text.data(), static_cast<uint32_t>(text.size()), nullptr, nullptr);
  return 200;
}

void MonitorPage::AddMonitoredItem(const char* id, const char* description, uint32_t interval, bool renews,
                                   bool initial, uint32_t* result) {
  Log(512, "MonitorPage::AddMonitoredItem [%s,%u]\n", id, interval);
  bool wasEmpty = items_.Empty();
  uint32_t r = items_.Add(id, description != nullptr ? description : "", interval, renews, initial);
  if (result != nullptr) *result = r;
  if (wasEmpty) RecheckHeartbeat();
}

bool MonitorPage::RemoveMonitoredItem(const char* id, bool* found) {
  bool wasEmpty = items_.Empty();
  bool removed = items_.Remove(id);
  if (found != nullptr) *found = removed;
  if (!wasEmpty && items_.Empty()) RecheckHeartbeat();
  return removed;
}

bool MonitorPage::ModifyMonitoredItem(const char* id, uint32_t interval, uint32_t* result) {
  bool wasEmpty = items_.Empty();
  uint32_t r = items_.Modify(id, interval, true);
  if (result != nullptr) *result = r;
  if (wasEmpty) RecheckHeartbeat();
  return r == kItemModified;
}

void MonitorPage::WriteIndexEntryXML(XMLAccumulator* xml, const char* path, const char* description, bool metadata,
                                     const char* linkId, const char* iconId, const char* provider) {
  auto given = [](const char* text) { return text != nullptr && text[0] != '\0'; };
  xml->OpenElement("page");
  xml->AddAttribute("path", path);
  if (given(description)) xml->AddAttribute("description", description);
  if (given(provider)) xml->AddAttribute("provider", provider);
  if (given(linkId)) xml->AddAttribute("linkID", linkId);
  if (given(iconId)) xml->AddAttribute("iconID", iconId);
  xml->AddAttribute("metadata", metadata ? "y" : "n");
  xml->CloseElement();
}

void MonitorPage::WriteIndexEntryRow(XMLAccumulator* xml, const char* path, const char* provider,
                                     const char* state) {
  xml->OpenElement("tr");
  xml->OpenElement("td");
  xml->OpenElement("a", path);
  xml->AddAttribute("href", std::string("../vmprov.cgi") + path);
  xml->CloseElement();
  xml->CloseElement();
  xml->AddElement("td", state != nullptr ? state : "");
  xml->AddElement("td", provider != nullptr ? provider : "");
  xml->CloseElement();
}

void MonitorPage::SignalShutdown() { RaiseServerSignal(platform::kSignalShutdown); }
void MonitorPage::SignalSuggestShutdown() { RaiseServerSignal(platform::kSignalSuggestShutdown); }
void MonitorPage::SetIdleTimeout(uint32_t seconds) { ::SetIdleTimeout(seconds); }
uint32_t MonitorPage::GetIdleTimeout() { return TheServer().idle.idleTimeoutSeconds; }
bool MonitorPage::IsIdleTimeoutSet() { return TheServer().idle.idleTimeoutOverridden != 0; }
uint32_t MonitorPage::GetDefaultIdleTimeout() { return kDefaultIdleTimeoutSeconds; }

void MonitorPage::OverrideHeartbeatInterval(uint32_t minutes) {
  Log(256, "OverrideHeartbeatInterval\n");
  TheServer().heartbeat.heartbeatIntervalMinutes = minutes;
}

void MonitorPage::DisableHeartbeat() { TheServer().heartbeat.heartbeatEnabled = false; }

int MonitorPage::PostToSelf(const char* pathAndQuery, const std::string& body, std::string* reply) {
  return InternalRequest("post", pathAndQuery, body, reply);
}

int MonitorPage::GetFromSelf(const char* pathAndQuery, const std::string& body, std::string* reply) {
  return InternalRequest("get", pathAndQuery, body, reply);
}

int MonitorPage::SendResponse(IOBase* io, const char* status, const char* body, uint32_t bodyLength,
                              const char* const* extraNames, const char* const* extraValues) {
  return StandardResponse(io, status, body, bodyLength, extraNames, extraValues);
}

int MonitorPage::SendXMLResponse(IOBase* io, const char* status, const ProviderErrorList* errors,
                                 const XMLAccumulator* document, const char* const* extraNames,
                                 const char* const* extraValues) {
  return WriteXmlResponse(io, status, errors, document, extraNames, extraValues);
}

bool MonitorPage::ReadBody(IOBase* io, const char* const* headerNames, const char* const* headerValues,
                           std::string* body) {
  return ::ReadBody(io, headerNames, headerValues, body);
}

const std::string& MonitorPage::ModuleDirectory() { return Globals().moduleDirectory; }
