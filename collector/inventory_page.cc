#include "collector/inventory_page.h"

#include <atomic>
#include <cstdio>
#include <cstring>

#include "collector/collector_config.h"
#include "collector/collector_statistics.h"
#include "collector/process_control.h"
#include "collector/provider_map.h"
#include "collector/provider_shutdown.h"
#include "collector/relaunch_limit.h"
#include "collector/service_notify_reports.h"
#include "collector/started_file.h"
#include "collector/xml_input.h"
#include "pages/query_map.h"
#include "runtime/log.h"
#include "runtime/provider_con.h"
#include "runtime/request_reader.h"
#include "runtime/response_writer.h"
#include "runtime/self_request.h"
#include "runtime/start_thread.h"
#include "xml/configuration_file.h"
#include "xml/master_config.h"
#include "xml/xml_accumulator.h"

namespace {

constexpr const char* kCleanStartTimer = "InventoryPage::CleanStart";
constexpr const char* kLoadTimer = "InventoryPage::LoadInventory";
constexpr const char* kReconfigTimer = "InventoryPage::ReconfigKids";
constexpr const char* kInitiateShutdownTimer = "inventory.page.initiate.shutdown";
constexpr const char* kTestShutdownTimer = "inventory.page.test.shutdown";
constexpr const char* kFinalShutdownTimer = "inventory.page.final.shutdown";
constexpr uint32_t kFinalShutdownSeconds = 15;
constexpr int kLoadTimeoutSeconds = 10;
constexpr int kMasterConfigWaitSeconds = 5;

std::atomic<InventoryPage*> inventoryPage{nullptr};

int Answer(IOBase* io, const char* status, const char* body) {
  MonitorPage::SendResponse(io, status, body, body != nullptr ? static_cast<uint32_t>(strlen(body)) : 0, nullptr,
                            nullptr);
  return atoi(status);
}

void CopyCut(char* out, size_t size, const std::string& text) { snprintf(out, size, "%s", text.c_str()); }

// The reply's top element carries lateinitdone: the provider finished its
// late initialization before it answered.
bool ReplyMarksLateInitDone(const std::string& body) {
  XMLDocument document = ParseXMLText(body);
  if (!document) return false;
  for (XMLNode* child : document->GetChildren()) {
    if (child->GetType() != XMLNode::kElement) continue;
    XMLNode* attribute = nullptr;
    return child->FindAttribute(&attribute, "lateinitdone") == 0 && attribute != nullptr;
  }
  return false;
}

}  // namespace

const char* LoadStatusText(uint32_t loadCode) {
  switch (loadCode) {
    case kLoadAccepted:
      return "pending";
    case kLoadPortConflict:
      return "port conflict";
    case kLoadNotFound:
      return "file not found";
    case kLoadBlocked:
      return "blocked by collector config";
    default:
      return "error";
  }
}

const char* ProviderShownState(const std::string& name, uint32_t state) {
  return TheRelaunchLimit().GivenUp(name) ? "failed" : ProviderStateText(state);
}

const char* ProviderStateText(uint32_t state) {
  switch (state) {
    case kProviderLoading:
      return "loading";
    case kProviderReady:
      return "ready";
    case kProviderError:
      return "error";
    case kProviderVersionMismatch:
      return "version mismatch";
    default:
      return "";
  }
}

bool IsSafeProviderName(const std::string& name) {
  return !name.empty() && name.find('/') == std::string::npos && name.find('\\') == std::string::npos &&
         name.find("..") == std::string::npos;
}

InventoryPage* TheInventoryPage() { return inventoryPage.load(); }

InventoryPage::InventoryPage(const char* path, bool hidden) : MonitorPage(path, hidden) {}

ServedPage* InventoryPage::Create(const char* path, bool hidden) {
  auto* page = new InventoryPage(path, hidden);
  inventoryPage.store(page);
  return page;
}

uint32_t InventoryPage::Initialize() {
  platform::NamedEvent other;
  if (other.OpenExisting(kCollectorUniqueEvent) == 0) {
    other.Close();
    Log(1, "InventoryPage::Initialize opened unique event; another collector is already running!\n");
    return 1;
  }
  if (unique_.Create(kCollectorUniqueEvent) != 0) {
    Log(1, "InventoryPage::Initialize Failed to create unique event.\n");
    return 1;
  }
  Log(8, "InventoryPage::Initialize acquired unique event\n");
  SetTimersBlockIdle(true);
  AddMonitoredItem(kCleanStartTimer, kCleanStartTimer, 1, false, true, nullptr);
  // The statistics name the master configuration in force: cleared first,
  // so that a missing or unreadable one shows as none.
  TheCollectorStatistics().SetConfig("", "");
  std::unique_ptr<ConfigurationFile> master = LoadMasterConfig(false, false);
  std::string name;
  std::string time;
  MasterConfigName(*master, &name);
  MasterConfigTime(*master, &time);
  TheCollectorStatistics().SetConfig(name, time);
  return 0;
}

void InventoryPage::CleanUp() {
  unique_.Close();
  InventoryPage* self = this;
  inventoryPage.compare_exchange_strong(self, nullptr);
  MonitorPage::CleanUp();
}

bool InventoryPage::ForkOnRequest(const char*, const char*, const char* const*, const char* const*, int kind) {
  return kind != 2;
}

void InventoryPage::MonitorNow(uint32_t count, const std::string* itemIds) {
  bool loaded = false;
  for (uint32_t i = 0; i < count; ++i) {
    const std::string& id = itemIds[i];
    if (id == kCleanStartTimer) {
      TruncateStartedFile();
      AddMonitoredItem(kLoadTimer, kLoadTimer, 1, false, true, nullptr);
    } else if (id == kLoadTimer) {
      if (!loaded) LoadProviders();
      loaded = true;
    } else if (id == kReconfigTimer) {
      Log(8, "Reconfig kids Cookie found.\n");
      StartThread(RequestReconfigKids, "RequestReconfigKids");
    } else if (id == kInitiateShutdownTimer) {
      Log(8, "Shutdown Initiate Cookie found; heartbeating & wakeups are now blocked\n");
      AddMonitoredItem(kTestShutdownTimer, kTestShutdownTimer, 1, true, false, nullptr);
      AddMonitoredItem(kFinalShutdownTimer, kFinalShutdownTimer, kFinalShutdownSeconds, false, false, nullptr);
    } else if (id == kTestShutdownTimer) {
      Log(8, "Shutdown Test Timer (%u).\n", NextShutdownTestTick());
      ShutdownAllProviders();
      if (SweepRecords(false)) {
        Log(2, "All providers have exited; shutting down now.\n");
        SignalShutdown();
      }
    } else if (id == kFinalShutdownTimer) {
      Log(2, "Final shutdown timer expired; terminating unresponsive providers\n");
      SweepRecords(true);
      Log(2, "Final shutdown timer expired; shutting down now.\n");
      SignalShutdown();
    }
  }
}

void InventoryPage::InitiateShutdown() {
  if (ShutdownInitiated()) return;
  Log(8, "ShutdownPage::InventoryPage InitiateShutdown\n");
  if (!MarkShutdownInitiated()) return;
  Log(8, "InitiateShutdown; heartbeating & wakeups are now blocked\n");
  ShutdownAllProviders();
  AddMonitoredItem(kInitiateShutdownTimer, kInitiateShutdownTimer, 1, false, true, nullptr);
}

void InventoryPage::ShutdownAllProviders() { SendShutdownToProviders(ProviderMap::Instance()); }

bool InventoryPage::SweepRecords(bool kill) {
  // The sweep tests and signals processes without the page lock: it works
  // on a copy, and only the done marks are written back.
  std::vector<SweepRecord> sweep;
  Lock();
  for (const auto& [name, record] : records_) sweep.push_back({name, record.lastpid, record.done});
  Unlock();
  const bool allEnded = SweepProviders(&sweep, kill);
  Lock();
  for (const SweepRecord& swept : sweep) {
    auto it = records_.find(swept.name);
    if (it != records_.end() && swept.done) it->second.done = true;
  }
  Unlock();
  return allEnded;
}

void InventoryPage::LoadProviders() {
  TheRelaunchLimit().ClearAll();  // a reload tries every provider again
  Log(4, "InventoryPage::MonitorNow Begins Provider Load\n");
  registrations_.clear();
  ConfigFileStatus status;
  LoadAllRegistrations(TheCollectorOptions(), &registrations_, &status);
  {
    Lock();
    fileStatus_ = std::move(status);
    Unlock();
  }
  ResetCacheProviderResponse();
  // The thread walks a copy: the next reload rebuilds registrations_ while
  // this load may still be under way.
  auto snapshot = std::make_shared<const RegistrationMap>(registrations_);
  if (!TryStartThread([snapshot] { RequestCachedProviderInventoryLoad(snapshot); }))
    Log(1, "Unable to create %s thread\n", "RequestCachedProviderInventoryLoad");
  // The collector listens (timers run only in the loop) and its
  // registrations are in: ready for the service manager. Each provider's
  // own load goes on; "/inventory" shows it.
  ReportServiceReady();
}

void InventoryPage::ResetCacheProviderResponse() {
  ProviderRecords records;
  for (const auto& [key, registration] : registrations_) {
    ProviderRecord record;
    record.port = registration.port;
    record.verbosity = registration.verbosity;
    record.logto = registration.logto;
    record.logsize = registration.logsize;
    record.origin = registration.origin;
    record.stats = registration.stats;
    record.noidle = registration.noidle;
    record.response = LoadStatusText(registration.loadCode);
    Log(8, "ResetCacheProviderResponse: add file %s response %s\n", registration.name.c_str(),
        record.response.c_str());
    records[registration.name] = std::move(record);
  }
  Lock();
  records_ = std::move(records);
  Unlock();
}

ProviderRecords InventoryPage::SnapshotRecords() {
  Lock();
  ProviderRecords copy = records_;
  Unlock();
  return copy;
}

int InventoryPage::Get(IOBase* io, const char*, const char* query, const char* const*, const char* const*, int,
                       int) {
  if (QueryMap(query).Has("getconfig")) return AnswerMasterConfig(io);
  return AnswerStatusList(io);
}

int InventoryPage::AnswerMasterConfig(IOBase* io) {
  Log(8, "InventoryPage::Get received request for master monitoring config information\n");
  ConfigurationFile file(ModuleDirectory().c_str(), kMasterConfigFile);
  std::string text;
  if (file.OpenRead(kMasterConfigWaitSeconds)) file.Serialize(&text, true);
  SendResponse(io, kStatus200, text.data(), static_cast<uint32_t>(text.size()), nullptr, nullptr);
  return 200;
}

int InventoryPage::AnswerStatusList(IOBase* io) {
  Log(8, "InventoryPage::Get received request for provider status list\n");
  Lock();
  ConfigFileStatus files = fileStatus_;
  ProviderRecords records = records_;
  Unlock();
  XMLAccumulator xml;
  xml.OpenElement("collector-config");
  xml.OpenElement("config-files");
  for (const auto& [name, status] : files) {
    xml.OpenElement("file", name);
    xml.AddAttribute("loadstatus", status == 0 ? "ok" : "malformed");
    xml.CloseElement();
  }
  xml.CloseElement();
  xml.OpenElement("providers");
  for (const auto& [name, record] : records) {
    xml.OpenElement("provider");
    xml.AddAttribute("name", name);
    xml.AddAttribute("response", record.response);
    xml.AddAttribute("state", ProviderShownState(name, record.state));
    xml.AddAttribute("lastpid", record.lastpid);
    xml.AddAttribute("origin", record.origin);
    xml.OpenElement("start_options");
    if (!record.logsize.empty()) xml.AddAttribute("logsize", record.logsize);
    if (!record.logto.empty()) xml.AddAttribute("logto", record.logto);
    if (record.noidle) xml.AddAttribute("noidle", "1");
    xml.AddAttribute("port", record.port);
    if (record.stats) xml.AddAttribute("stats", "1");
    if (!record.verbosity.empty()) xml.AddAttribute("verbosity", record.verbosity);
    xml.CloseElement();
    xml.CloseElement();
  }
  xml.CloseElement();
  xml.CloseElement();
  std::string body;
  xml.GetXML(&body, 1);
  SendResponse(io, kStatus200, body.data(), static_cast<uint32_t>(body.size()), nullptr, nullptr);
  return 200;
}

int InventoryPage::Post(IOBase* io, const char*, const char* query, const char* const* headerNames,
                        const char* const* headerValues, int, int) {
  Log(4, "InventoryPage::Post(%s)\n", query != nullptr ? query : "");
  std::string body;
  if (!ReadBody(io, headerNames, headerValues, &body)) {
    // A body over the loop thread's limit: the channel is dead and the
    // dispatcher logs the refusal; nothing is answered.
    if (io->BodyRefused()) return 400;
    Log(8, "InventoryPage::Post found no body data\n");
    body.clear();
  }
  QueryMap map(query);
  if (map.Has("clearmap")) {
    if (TextToInt(map.Get("clearmap").c_str()) == 1) {
      Log(4, "InventoryPage::Post command to reload providers received\n");
      AddMonitoredItem(kLoadTimer, kLoadTimer, 1, false, false, nullptr);
      return Answer(io, kStatus200, nullptr);
    }
  } else if (map.Has("removestart")) {
    RemoveFirstStart(map.Get("removestart").c_str());
  } else if (map.Has("reconfig")) {
    Log(4, "InventoryPage::Post command to modify master config received\n");
    Log(8, "Body data is [%s]\n", body.c_str());
    Answer(io, kStatus200, nullptr);
    AddMonitoredItem(kReconfigTimer, kReconfigTimer, 1, false, true, nullptr);
    return 200;
  }
  const bool hasFile = map.Has("file");
  if (hasFile && map.Has("port")) {
    if (!IsSafeProviderName(map.Get("file"))) {
      Log(16, "InventoryPage::Post refused map update for provider name [%s]\n", map.Get("file").c_str());
      return Answer(io, kStatus400, "");
    }
    Log(4, "InventoryPage::Post Matched map update command\n");
    Log(8, "Body data is [%s]\n", body.c_str());
    Answer(io, kStatus200, "okay");
    MapUpdate(map, body);
    return 200;
  }
  if (hasFile && map.Has("pid")) PidUpdate(map.Get("file"), map.Get("pid"));
  if (hasFile && map.Has("provstatus")) StatusUpdate(map.Get("file"), map.Get("provstatus"));
  return Answer(io, kStatus200, "");
}

void InventoryPage::MapUpdate(const QueryMap& map, const std::string& body) {
  const std::string file = map.Get("file");
  const std::string code = map.Get("code");
  if (TextToInt(code.c_str()) == 200) {
    bool matched = false;
    ProviderMap::Instance().addProvider(file.c_str(), map.Get("port").c_str(), map.Get("verbosity").c_str(),
                                        map.Get("logto").c_str(), map.Has("stats"), body,
                                        map.Get("logsize").c_str(), map.Has("noidle"), &matched);
    const bool lateInitDone = ReplyMarksLateInitDone(body);
    Lock();
    auto it = records_.find(file);
    const bool found = it != records_.end();
    if (found && !matched) it->second.state = kProviderVersionMismatch;
    if (found && lateInitDone) it->second.state = kProviderReady;
    Unlock();
    if (lateInitDone && found) Log(8, "InventoryPage::Post provider (%s) marked as ready\n", file.c_str());
    if (lateInitDone && !found)
      Log(2, "InventoryPage::Post tried to mark (%s) ready and couldn't find it!\n", file.c_str());
  }
  Lock();
  records_[file].response = code;
  Unlock();
}

void InventoryPage::PidUpdate(const std::string& file, const std::string& pid) {
  Log(8, "InventoryPage::Post Matched PID update command [%s,%s]\n", file.c_str(), pid.c_str());
  Lock();
  auto it = records_.find(file);
  const bool found = it != records_.end();
  if (found) it->second.lastpid = pid;
  Unlock();
  if (found)
    Log(8, "InventoryPage::PID update for [%s]; pid is now [%s]\n", file.c_str(), pid.c_str());
  else
    Log(2, "InventoryPage::PID update for [%s]; no matching provider found!\n", file.c_str());
}

void InventoryPage::StatusUpdate(const std::string& file, const std::string& status) {
  enum { kNone, kMismatch, kError, kReady } outcome = kNone;
  const bool ready = TextToInt(status.c_str()) >= 1;
  Lock();
  auto it = records_.find(file);
  if (it != records_.end()) {
    if (it->second.state == kProviderVersionMismatch) {
      outcome = kMismatch;
    } else {
      outcome = ready ? kReady : kError;
      it->second.state = ready ? kProviderReady : kProviderError;
    }
  }
  Unlock();
  // The provider map is told after the page lock is let go: the two locks
  // are never held together.
  if (outcome == kMismatch) {
    Log(2, "InventoryPage::provider status update [%s]; ignore due to version mismatch error\n", file.c_str());
  } else if (outcome == kError) {
    Log(2, "InventoryPage::provider status update [%s]; provider error\n", file.c_str());
    ProviderMap::Instance().reportProviderError(file.c_str());
  } else if (outcome == kReady) {
    Log(8, "InventoryPage::provider status update [%s]; provider ready\n", file.c_str());
    ProviderMap::Instance().reportProviderReady(file.c_str());
  }
}

uint32_t InventoryPage::WriteIndexEntry(XMLAccumulator* xml, const char*) {
  std::map<std::string, uint32_t> states;
  Lock();
  for (const auto& [name, record] : records_) states[name] = record.state;
  Unlock();
  ProviderMap::Instance().ForEachPage([&](const ProviderPage& page) {
    if (page.provider == nullptr) return;
    auto it = states.find(page.provider->Name());
    WriteIndexEntryRow(xml, page.path.c_str(), page.provider->Name(),
                       it == states.end() ? "" : ProviderStateText(it->second));
  });
  return 0;
}

void RequestCachedProviderInventoryLoad(std::shared_ptr<const RegistrationMap> registrations) {
  Log(4, "RequestCachedProviderInventoryLoad T/P begins\n");
  for (const auto& [key, registration] : *registrations) {
    if (registration.loadCode != kLoadAccepted) continue;
    Log(4, "LoadCachedConfigFile calls inventory load for %s\n", registration.name.c_str());
    ProviderRegistration copy = registration;
    if (!TryStartThread([copy] { InventoryLoad(copy); }))
      Log(1, "Unable to create InventoryLoad thread for file %s:%s\n", registration.name.c_str(),
          registration.port.c_str());
  }
  Log(4, "RequestProviderInventoryLoad T/P exits\n");
}

void InventoryLoad(const ProviderRegistration& registration) {
  const char* name = registration.name.c_str();
  Log(4, "InventoryLoad for %s:%s\n", name, registration.port.c_str());
  if (registration.portNumber != 0) {
    CProviderCon provider;
    provider.SetMode(CProviderCon::kModeSocket);
    provider.SetName(name);
    provider.SetPort(registration.portNumber);
    provider.SetVerb("get");
    ProviderLaunchData& data = provider.LaunchData();
    CopyCut(data.verbosity, sizeof data.verbosity, registration.verbosity);
    CopyCut(data.logto, sizeof data.logto, registration.logto);
    CopyCut(data.logsize, sizeof data.logsize, registration.logsize);
    data.stats = registration.stats;
    data.noidle = registration.noidle;
    const char* index = "/index?collectorrequest=1";
    Log(4, "InventoryPage::ExternalOp Requesting document: %s\n", index);
    int status = provider.requestDocument(index, "", true, kLoadTimeoutSeconds);
    std::string reply;
    if (status == 200) reply.assign(provider.ResponseBody(), provider.ResponseBodyLength());
    Log(8, "InventoryLoad External get rv is %d\n", status);
    Log(8, "InventoryLoad External get reply body is %s\n", reply.c_str());

    std::string target = "/inventory?file=" + registration.name + "&port=" + registration.port +
                         "&code=" + std::to_string(status);
    if (!registration.verbosity.empty()) target += "&verbosity=" + registration.verbosity;
    if (!registration.logto.empty()) target += "&logto=" + registration.logto;
    if (registration.stats) target += "&stats=1";
    if (!registration.logsize.empty()) target += "&logsize=" + registration.logsize;
    if (registration.noidle) target += "&noidle=1";
    int posted = InternalRequest("post", target.c_str(), reply, nullptr);
    Log(8, "InventoryLoad Internal post rv is %d\n", posted);
  }
  Log(8, "InventoryLoad T/P exiting\n");
}

void RequestReconfigKids() { SendReconfigToProviders(ProviderMap::Instance()); }
