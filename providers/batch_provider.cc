// batch_provider: a sample provider whose jobs outlast a request. A job
// runs on a worker thread of the page and is followed through an async
// cookie; results are kept in an archive beside the executable
// ("batch_provider.cookies.xml"), so they survive a restart.
//
//   POST /batch?job=NAME&steps=N[&stepms=M][&stubborn=1][&hold=S][&expire=S]
//        starts a job of N steps of M milliseconds (default 100); answers
//        <async-operation async-id="NAME!XXXXXXXXXX"/>. The worker reports
//        after every step; a stubborn job ignores exit requests. A complete
//        result is held S seconds (default 600), an unfinished job expires
//        after S seconds (default 3600).
//   POST /batch?maintain=1
//        ages the cookies and discards ended workers (what the standard
//        cookie-maintenance page does every minute).
//   GET  /batch?asyncstatus=1, ?async-result-request=1&async-id=ID,
//        ?async-id-match-request=1&async-id=NAME, ?workerstatus=1
//
// Threads: the POSTs that start jobs or age cookies run on the loop thread
// (ForkOnRequest false), so workers are created, discarded and waited for
// on one thread. Worker reports ("fw_workerupdate=1") and the GETs run on
// session threads; the worker list and the archive lock themselves. The
// loop thread never waits for a worker here: a worker waits for the loop
// to accept its report, so a wait on the loop thread could deadlock.
#include <cstdlib>
#include <cstring>
#include <string>

#include "pages/monitor_page.h"
#include "pages/query_map.h"
#include "platform/clock.h"
#include "runtime/entry.h"
#include "runtime/log.h"
#include "runtime/page_registry.h"
#include "runtime/response_writer.h"
#include "xml/xml_accumulator.h"
#include "xml/xml_node.h"

namespace {

const char kPath[] = "/batch";
const char kArchiveName[] = "batch_provider.cookies.xml";
constexpr uint32_t kDefaultStepMs = 100;
constexpr uint32_t kMaxStepMs = 60000;
constexpr uint32_t kMaxSteps = 100000;
constexpr uint32_t kDefaultHoldSeconds = 600;
constexpr uint32_t kDefaultExpireSeconds = 3600;
// How often a waiting worker looks at its exit flag.
constexpr uint32_t kPollMs = 50;

uint32_t NumberOr(const QueryMap& query, const char* key, uint32_t fallback) {
  if (!query.Has(key)) return fallback;
  return static_cast<uint32_t>(strtoul(query.Get(key).c_str(), nullptr, 10));
}

// Sleeps `ms`; false as soon as the worker is asked to stop (unless it is
// stubborn).
bool Pause(WorkerControlObject* worker, uint32_t ms, bool stubborn) {
  for (uint32_t slept = 0; slept < ms; slept += kPollMs) {
    if (!stubborn && worker->isExitRequested()) return false;
    platform::SleepMs(ms - slept < kPollMs ? ms - slept : kPollMs);
  }
  return stubborn || !worker->isExitRequested();
}

// The body of a job: N steps, a report to the page after each.
void BatchWorker(WorkerControlObject* worker) {
  worker->WorkerBegins();
  QueryMap parameters(worker->GetParameters().c_str());
  const uint32_t steps = worker->GetUserData();
  const uint32_t stepMs = NumberOr(parameters, "stepms", kDefaultStepMs);
  const bool stubborn = parameters.Get("stubborn") == "1";
  for (uint32_t step = 1; step <= steps; ++step) {
    if (!Pause(worker, stepMs, stubborn)) {
      Log(128, "BatchWorker [%s] stops at step %u of %u\n", worker->GetCookieId().c_str(), step, steps);
      return;
    }
    XMLAccumulator xml;
    xml.OpenElement("batch-update");
    xml.AddAttribute("cookie", worker->GetCookieId());
    xml.AddAttribute("job", parameters.Get("job"));
    xml.AddAttribute("step", static_cast<unsigned>(step));
    xml.AddAttribute("steps", static_cast<unsigned>(steps));
    xml.CloseElement();
    std::string body;
    xml.GetXML(&body, -1);
    // A refused report (exit requested) is not retried; a stubborn job
    // simply goes on without telling anyone.
    worker->postToParent(body, nullptr);
  }
}

std::string Attribute(XMLNode* element, const char* name) {
  XMLNode* attribute = nullptr;
  if (element->FindAttribute(&attribute, name) != 0 || attribute == nullptr) return std::string();
  return std::string(attribute->GetValue());
}

class BatchPage : public MonitorPage {
 public:
  BatchPage() : MonitorPage(kPath, false) {}

  uint32_t Initialize() override {
    SetAsyncArchive(ModuleDirectory() + kArchiveName);
    return 0;
  }

  bool ForkOnRequest(const char*, const char* query, const char* const*, const char* const*, int kind) override {
    // Starting jobs and aging cookies stay on the loop thread; reports and
    // listings do not need to.
    return kind != 2 || isWorkerMessage(query);
  }

  int Get(IOBase* io, const char*, const char* query, const char* const*, const char* const*, int, int) override {
    if (IsMetadataRequest(query)) return ReplyWithMetadata(io);
    if (HandleAsyncRequest(query, io)) return 200;
    if (IsWorkerStatusRequest(query)) return ReplyWithWorkerStatus(io);
    SendResponse(io, kStatus400, nullptr, 0, nullptr, nullptr);
    return 400;
  }

  int Post(IOBase* io, const char*, const char* query, const char* const* headerNames,
           const char* const* headerValues, int, int) override {
    if (isWorkerMessage(query)) return Report(io, headerNames, headerValues);
    QueryMap q(query);
    if (q.Has("maintain")) {
      AgeAsyncCookies();
      workersMaintenance();
      SendResponse(io, kStatus200, nullptr, 0, nullptr, nullptr);
      return 200;
    }
    return StartJob(io, q, query);
  }

 private:
  int StartJob(IOBase* io, const QueryMap& q, const char* query) {
    const std::string job = q.Get("job");
    const uint32_t steps = NumberOr(q, "steps", 0);
    if (job.empty() || job.find('!') != std::string::npos || steps == 0 || steps > kMaxSteps ||
        NumberOr(q, "stepms", kDefaultStepMs) > kMaxStepMs) {
      SendResponse(io, kStatus400, nullptr, 0, nullptr, nullptr);
      return 400;
    }
    std::string id, reply;
    CreateAsyncOperation(job, NumberOr(q, "hold", kDefaultHoldSeconds), NumberOr(q, "expire", kDefaultExpireSeconds),
                         &id, &reply);
    WorkerControlObject* worker = CreateWorkerFunction(BatchWorker, job.c_str(), query, id.c_str(), steps);
    if (!worker->Start()) {
      SendResponse(io, kStatus500, nullptr, 0, nullptr, nullptr);
      return 500;
    }
    SendResponse(io, kStatus200, reply.data(), static_cast<uint32_t>(reply.size()), nullptr, nullptr);
    return 200;
  }

  // A worker's report: <batch-update cookie job step steps/>.
  int Report(IOBase* io, const char* const* headerNames, const char* const* headerValues) {
    std::string body;
    std::unique_ptr<XMLNode> document;
    XMLNode* update = nullptr;
    if (!ReadBody(io, headerNames, headerValues, &body) ||
        XMLNode::Parse(body, &document, 0, nullptr, nullptr) != 0 ||
        document->FindChild(&update, "batch-update") != 0 || update == nullptr) {
      SendResponse(io, kStatus400, nullptr, 0, nullptr, nullptr);
      return 400;
    }
    const std::string cookie = Attribute(update, "cookie");
    const std::string job = Attribute(update, "job");
    const uint32_t step = static_cast<uint32_t>(strtoul(Attribute(update, "step").c_str(), nullptr, 10));
    const uint32_t steps = static_cast<uint32_t>(strtoul(Attribute(update, "steps").c_str(), nullptr, 10));
    if (steps == 0 || step > steps) {
      SendResponse(io, kStatus400, nullptr, 0, nullptr, nullptr);
      return 400;
    }
    XMLAccumulator result;
    result.OpenElement(step == steps ? "batch-result" : "batch-progress");
    result.AddAttribute("job", job);
    result.AddAttribute("step", static_cast<unsigned>(step));
    result.AddAttribute("steps", static_cast<unsigned>(steps));
    result.CloseElement();
    if (step == steps)
      CompleteAsyncOperation(cookie, nullptr, &result);
    else
      SetAsyncResult(cookie, static_cast<int32_t>(static_cast<uint64_t>(step) * 100 / steps), nullptr, &result);
    SendResponse(io, kStatus200, nullptr, 0, nullptr, nullptr);
    return 200;
  }
};

}  // namespace

std::string ProviderUniqueName() { return "Velmora batch provider"; }

int ProviderInitialize() {
  if (!RegisterPage(new BatchPage)) return 1;
  // Reports its process id to the collector a second after the start, so
  // that the collector's shutdown can wait for this process to end.
  if (auto* status = dynamic_cast<MonitorPage*>(FindPage("/status")))
    status->AddMonitoredItem("pid_timer", "pid_timer", 1, false, false, nullptr);
  return 0;
}

int ProviderPostOptions() { return 0; }
