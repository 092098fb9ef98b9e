#include "pages/server_statistics.h"

#include "platform/clock.h"
#include "runtime/access_log.h"
#include "runtime/dispatch.h"
#include "runtime/log.h"
#include "xml/configuration_file.h"
#include "xml/xml_accumulator.h"

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;

struct CounterKey {
  const char* name;
  std::atomic<uint32_t>* counter;
};

std::string DateNow() {
  char date[64];
  CommonLogDate(date, sizeof date, 0);
  return date;
}

}  // namespace

ServerStatistics::ServerStatistics() : first_(DateNow()) {}

void ServerStatistics::IncrementForwarded() { DispatchCounters().alternate.fetch_add(1, kRelaxed); }
void ServerStatistics::IncrementPageNotFound() { DispatchCounters().unmatched.fetch_add(1, kRelaxed); }
void ServerStatistics::IncrementPageFound() { DispatchCounters().forkDecisions.fetch_add(1, kRelaxed); }
void ServerStatistics::IncrementForked() { DispatchCounters().forked.fetch_add(1, kRelaxed); }
void ServerStatistics::IncrementUnforked() { DispatchCounters().inlined.fetch_add(1, kRelaxed); }
void ServerStatistics::AddTimerServiced(uint32_t n) { timerServiced_.fetch_add(n, kRelaxed); }
void ServerStatistics::AddResidentTime(uint32_t seconds) { residentTime_.fetch_add(seconds, kRelaxed); }
void ServerStatistics::AddExternalWakeup() { externalWakeups_.fetch_add(1, kRelaxed); }

uint32_t ServerStatistics::Forwarded() const { return DispatchCounters().alternate.load(kRelaxed); }
uint32_t ServerStatistics::PageNotFound() const { return DispatchCounters().unmatched.load(kRelaxed); }
uint32_t ServerStatistics::PageFound() const { return DispatchCounters().forkDecisions.load(kRelaxed); }
uint32_t ServerStatistics::Forked() const { return DispatchCounters().forked.load(kRelaxed); }
uint32_t ServerStatistics::Unforked() const { return DispatchCounters().inlined.load(kRelaxed); }

ServerStatistics::CounterValues ServerStatistics::Values(uint32_t currentResident) const {
  return {{{"forwarded", Forwarded()},
           {"pagenotfound", PageNotFound()},
           {"pagefound", PageFound()},
           {"forked", Forked()},
           {"unforked", Unforked()},
           {"timerserviced", TimerServiced()},
           {"total-resident-time", TotalResidentTime()},
           {"external-wakeups", ExternalWakeups()},
           {"current-resident-time", currentResident}}};
}

void ServerStatistics::Save(Configuration* file, XMLNode* parent, bool fileIsNew, uint32_t currentResident) const {
  if (fileIsNew) file->SetKey(parent, "first", first_);
  file->SetKey(parent, "as-of", DateNow());
  const CounterValues values = Values(currentResident);
  for (const auto& [name, value] : values) file->SetKeyNumber(parent, name, value);
  XMLNode* providers = file->GetSection(parent, "providerstats", true);
  std::lock_guard<std::mutex> hold(providersMutex_);
  for (const auto& [name, count] : providerStats_) file->SetKeyNumber(providers, name, count);
}

void ServerStatistics::Load(const Configuration& file, XMLNode* parent) {
  RequestCounters& dispatch = DispatchCounters();
  // The six counters a run starts from zero; the resident time and the
  // wakeups carry on from what this process has added unless the file says.
  const CounterKey keys[] = {
      {"forwarded", &dispatch.alternate},    {"pagenotfound", &dispatch.unmatched},
      {"pagefound", &dispatch.forkDecisions}, {"forked", &dispatch.forked},
      {"unforked", &dispatch.inlined},       {"timerserviced", &timerServiced_},
      {"total-resident-time", &residentTime_}, {"external-wakeups", &externalWakeups_},
  };
  for (size_t i = 0; i < 6; ++i) keys[i].counter->store(0, kRelaxed);
  for (const CounterKey& key : keys) {
    unsigned long value = 0;
    if (file.GetKeyUnsigned(parent, key.name, &value)) key.counter->store(static_cast<uint32_t>(value), kRelaxed);
  }
  std::map<std::string, uint32_t> loaded;
  if (XMLNode* providers = file.FindSection(parent, "providerstats")) {
    std::vector<std::string> names;
    file.ListKeyNames(providers, &names);
    for (const std::string& name : names) {
      unsigned long value = 0;
      file.GetKeyUnsigned(providers, name, &value);
      loaded[name] = static_cast<uint32_t>(value);
    }
  }
  std::lock_guard<std::mutex> hold(providersMutex_);
  providerStats_ = std::move(loaded);
}

void ServerStatistics::WriteXML(XMLAccumulator* xml, uint32_t currentResident) const {
  const CounterValues values = Values(currentResident);
  for (const auto& [name, value] : values) xml->AddElement(name, static_cast<unsigned long>(value));
  xml->OpenElement("providerstats");
  {
    std::lock_guard<std::mutex> hold(providersMutex_);
    for (const auto& [name, count] : providerStats_) xml->AddElement(name, static_cast<unsigned long>(count));
  }
  xml->CloseElement();
}

ServerStatistics& TheServerStatistics() {
  static ServerStatistics statistics;
  return statistics;
}

bool OpenStatisticsForWrite(ConfigurationFile* file, int waitSeconds, bool* isNew) {
  if (!file->OpenWrite(waitSeconds)) return false;
  *isNew = file->IsNew();
  if (file->GetRoot() == nullptr) {
    Log(32, "Statistics file %s does not parse; starting a new one\n", file->Path().c_str());
    file->NewDocument();
    *isNew = true;
  }
  return true;
}
