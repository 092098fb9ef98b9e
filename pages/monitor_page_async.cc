// MonitorPage's worker and async cookie operations (see monitor_page.h for
// the threading rules they rely on).
#include <cstring>

#include "pages/monitor_page.h"
#include "pages/provider_error_list.h"
#include "pages/query_map.h"
#include "runtime/log.h"
#include "runtime/no_case.h"
#include "runtime/response_writer.h"
#include "xml/xml_accumulator.h"

namespace {

// The result text of an async operation: errors first, then the document.
std::string ResultText(const ProviderErrorList* errors, const XMLAccumulator* document) {
  std::string text;
  if (errors != nullptr) {
    XMLAccumulator xml;
    errors->WriteXML(&xml);
    xml.GetXML(&text, -1);
  }
  if (document != nullptr) {
    std::string part;
    document->GetXML(&part, -1);
    text += part;
  }
  return text;
}

void Answer(IOBase* io, const std::string& body) {
  StandardResponse(io, kStatus200, body.data(), static_cast<uint32_t>(body.size()), nullptr, nullptr);
}

}  // namespace

WorkerControlObject* MonitorPage::CreateWorkerFunction(WorkerFunction function, const char* description,
                                                       const char* parameters, const char* cookieId,
                                                       uint32_t userData) {
  Log(8, "MonitorPage::CreateWorkerFunction calls workersMaintenance\n");
  workersMaintenance();
  auto worker = std::make_unique<WorkerControlObject>(path_, function, description, parameters, cookieId, userData);
  worker->SetCreated(AsyncCookieArchive::SystemNow());
  return workers_.Add(std::move(worker));
}

void MonitorPage::workersMaintenance() { workers_.Maintenance(); }

bool MonitorPage::isWorkerMessage(const char* query) {
  Log(128, "MonitorPage::isWorkerMessage\n");
  return query != nullptr && strcmp(query, "fw_workerupdate=1") == 0;
}

bool MonitorPage::IsWorkerStatusRequest(const char* query) {
  if (query != nullptr && StartsWithNoCase(query, "workerstatus=")) {
    Log(256, "MonitorPage::IsWorkerStatusRequest returns true\n");
    return true;
  }
  Log(256, "MonitorPage::IsWorkerStatusRequest returns false\n");
  return false;
}

int MonitorPage::ReplyWithWorkerStatus(IOBase* io) {
  Log(256, "MonitorPage::ReplyWithWorkerStatus\n");
  XMLAccumulator xml;
  xml.OpenElement("worker-status");
  workers_.WriteXML(&xml);
  xml.CloseElement();
  std::string text;
  xml.GetXML(&text, 1);
  Answer(io, text);
  return 200;
}

void MonitorPage::SetAsyncArchive(const std::string& fileName) { cookies_.SetArchive(fileName); }

void MonitorPage::AgeAsyncCookies() { cookies_.AgeCookies(); }

void MonitorPage::CreateAsyncOperation(const std::string& outside, uint32_t holdSeconds, uint32_t expirySeconds,
                                       std::string* id, std::string* reply) {
  AsyncCookie cookie = cookies_.CreateCookie(outside, holdSeconds, expirySeconds);
  if (id != nullptr) *id = cookie.id;
  if (reply != nullptr) {
    XMLAccumulator xml;
    xml.OpenElement("async-operation");
    xml.AddAttribute("async-id", cookie.id);
    xml.CloseElement();
    xml.GetXML(reply, -1);
  }
}

void MonitorPage::SetAsyncProgress(const std::string& id, int32_t progress) {
  cookies_.SetCookieResult(id, std::string(), progress);
}

void MonitorPage::SetAsyncResult(const std::string& id, int32_t progress, const ProviderErrorList* errors,
                                 const XMLAccumulator* document) {
  cookies_.SetCookieResult(id, ResultText(errors, document), progress);
}

void MonitorPage::CompleteAsyncOperation(const std::string& id, const ProviderErrorList* errors,
                                         const XMLAccumulator* document) {
  SetAsyncResult(id, 100, errors, document);
}

bool MonitorPage::IsAsyncStatusRequest(const char* query) {
  Log(256, "MonitorPage::IsAsyncStatusRequest\n");
  if (query != nullptr && StartsWithNoCase(query, "asyncstatus=")) {
    Log(256, "MonitorPage::IsAsyncStatusRequest returns true\n");
    return true;
  }
  Log(256, "MonitorPage::IsAsyncStatusRequest returns false\n");
  return false;
}

int MonitorPage::ReplyWithAsyncStatus(IOBase* io) {
  Log(256, "MonitorPage::ReplyWithAsyncStatus\n");
  std::string text;
  cookies_.GetStatusXML(&text);
  Answer(io, text);
  return 200;
}

bool MonitorPage::HandleAsyncRequest(const char* query, IOBase* io) {
  if (IsAsyncStatusRequest(query)) {
    ReplyWithAsyncStatus(io);
    return true;
  }
  QueryMap map(query);
  const std::string id = map.Get("async-id");
  if (id.empty()) return false;
  if (!map.Get("async-id-match-request").empty()) {
    XMLAccumulator xml;
    cookies_.GetMatchesXML(id, &xml);
    std::string text;
    xml.GetXML(&text, -1);
    Answer(io, text);
    return true;
  }
  if (!map.Get("async-result-request").empty()) {
    std::string text;
    cookies_.GetResultXML(id, &text);
    Answer(io, text);
    return true;
  }
  return false;
}
