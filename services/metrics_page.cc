#include "services/metrics_page.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <set>

#include "collector/collector_statistics.h"
#include "collector/inventory_page.h"
#include "collector/provider_map.h"
#include "platform/clock.h"
#include "platform/process.h"
#include "pages/server_statistics.h"
#include "runtime/response_writer.h"

namespace {

// State label values, in the order their samples are written.
constexpr const char* kStates[] = {"loading", "ready", "error", "version_mismatch", "failed"};

void Family(std::string* out, const char* name, const char* type, const char* help) {
  *out += "# HELP ";
  *out += name;
  *out += ' ';
  *out += help;
  *out += "\n# TYPE ";
  *out += name;
  *out += ' ';
  *out += type;
  *out += '\n';
}

// NAME{provider="P"[,KEY="VALUE"]} VALUE
void Sample(std::string* out, const char* name, const std::string& provider, const char* key, const char* value,
            uint64_t number) {
  *out += name;
  *out += "{provider=\"";
  *out += EscapeLabelValue(provider);
  *out += '"';
  if (key != nullptr) {
    *out += ',';
    *out += key;
    *out += "=\"";
    *out += value;
    *out += '"';
  }
  *out += "} ";
  *out += std::to_string(number);
  *out += '\n';
}

void Plain(std::string* out, const char* name, const char* type, const char* help, uint64_t number) {
  Family(out, name, type, help);
  *out += name;
  *out += ' ';
  *out += std::to_string(number);
  *out += '\n';
}

// One counter family over every provider.
template <typename Field>
void ProviderCounter(std::string* out, const std::vector<ProviderSample>& providers, const char* name,
                     const char* help, Field field) {
  Family(out, name, "counter", help);
  for (const ProviderSample& p : providers) Sample(out, name, p.name, nullptr, nullptr, field(p.counts));
}

// The label value of a record's state: spaces become underscores.
std::string StateLabel(const std::string& name, const ProviderRecord& record) {
  std::string text = ProviderShownState(name, record.state);
  for (char& c : text)
    if (c == ' ') c = '_';
  return text;
}

bool Up(const ProviderRecord& record) {
  if (record.state != kProviderReady || record.lastpid.empty()) return false;
  char* end = nullptr;
  unsigned long pid = strtoul(record.lastpid.c_str(), &end, 10);
  return *end == '\0' && pid <= UINT32_MAX && platform::ProcessIsRunning(static_cast<uint32_t>(pid));
}

}  // namespace

std::string EscapeLabelValue(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  for (char c : value) {
    if (c == '\\')
      out += "\\\\";
    else if (c == '"')
      out += "\\\"";
    else if (c == '\n')
      out += "\\n";
    else
      out += c;
  }
  return out;
}

std::string FormatMetrics(const std::vector<ProviderSample>& providers, const CollectorSample& collector) {
  std::string out;
  out.reserve(1024 + providers.size() * 1536);
  Family(&out, "velmora_provider_state", "gauge", "1 for the state the provider is in, 0 for the others.");
  for (const ProviderSample& p : providers)
    for (const char* state : kStates) Sample(&out, "velmora_provider_state", p.name, "state", state, p.state == state);
  Family(&out, "velmora_provider_up", "gauge", "1 when the provider is ready and its process runs.");
  for (const ProviderSample& p : providers) Sample(&out, "velmora_provider_up", p.name, nullptr, nullptr, p.up);
  ProviderCounter(&out, providers, "velmora_provider_launches_total", "Provider processes started.",
                  [](const ProviderCounts& c) { return c.launches; });
  ProviderCounter(&out, providers, "velmora_provider_crash_recoveries_total",
                  "Provider processes started to recover from a failed heartbeat.",
                  [](const ProviderCounts& c) { return c.crashRecoveries; });
  ProviderCounter(&out, providers, "velmora_provider_heartbeat_failures_total", "Heartbeats not answered 200.",
                  [](const ProviderCounts& c) { return c.heartbeatFailures; });
  Family(&out, "velmora_provider_requests_total", "counter",
         "Requests routed to the provider, by answer status class.");
  for (const ProviderSample& p : providers)
    for (int i = 0; i < kStatusClassCount; ++i)
      Sample(&out, "velmora_provider_requests_total", p.name, "class", StatusClassLabel(i), p.counts.routed[i]);
  ProviderCounter(&out, providers, "velmora_provider_routed_bytes_total",
                  "Bytes written to clients for requests routed to the provider.",
                  [](const ProviderCounts& c) { return c.bytesRouted; });
  Plain(&out, "velmora_collector_wakeups_delivered_total", "counter", "Scheduled wakeups delivered to providers.",
        collector.wakeups);
  Plain(&out, "velmora_collector_connections_served_total", "counter", "Requests the collector dispatched.",
        collector.connections);
  Plain(&out, "velmora_collector_uptime_seconds", "gauge", "Seconds since the collector started.",
        collector.uptimeSeconds);
  Plain(&out, "velmora_collector_registered_providers", "gauge", "Providers with a registration.",
        collector.registeredProviders);
  Plain(&out, "velmora_collector_relaunch_limit_trips_total", "counter",
        "Times the collector gave up relaunching a provider.", collector.relaunchLimitTrips);
  return out;
}

MetricsPage::MetricsPage(const char* path, bool hidden)
    : MonitorPage(path, hidden), createdMs_(platform::TickCountMs()) {}

ServedPage* MetricsPage::Create(const char* path, bool hidden) { return new MetricsPage(path, hidden); }

bool MetricsPage::ForkOnRequest(const char*, const char*, const char* const*, const char* const*, int) { return true; }

uint32_t MetricsPage::WriteIndexEntry(XMLAccumulator* xml, const char* path) {
  WriteIndexEntryRow(xml, path, "collector", "ready");
  return 0;
}

int MetricsPage::Get(IOBase* io, const char*, const char*, const char* const*, const char* const*, int, int) {
  ProviderRecords records;
  if (InventoryPage* inventory = TheInventoryPage()) records = inventory->SnapshotRecords();
  std::map<std::string, ProviderCounts> counts = SnapshotProviderCounts();
  // Providers counted once stay listed after a reload drops them, so that
  // their counters never go back.
  std::set<std::string> names;
  for (const auto& [name, record] : records) names.insert(name);
  for (const auto& [name, count] : counts) names.insert(name);
  std::vector<ProviderSample> providers;
  providers.reserve(names.size());
  for (const std::string& name : names) {
    ProviderSample sample;
    sample.name = name;
    auto record = records.find(name);
    if (record != records.end()) {
      sample.state = StateLabel(name, record->second);
      sample.up = Up(record->second) && sample.state == "ready";
    }
    auto count = counts.find(name);
    if (count != counts.end()) sample.counts = count->second;
    providers.push_back(std::move(sample));
  }
  CollectorSample collector;
  collector.wakeups = TheCollectorStatistics().Wakeups();
  collector.connections = uint64_t{TheServerStatistics().Forked()} + TheServerStatistics().Unforked();
  collector.uptimeSeconds = (platform::TickCountMs() - createdMs_) / 1000;
  collector.registeredProviders = records.size();
  collector.relaunchLimitTrips = RelaunchLimitTrips();
  const std::string body = FormatMetrics(providers, collector);
  static const char* const kNames[] = {"Content-Type", nullptr};
  static const char* const kValues[] = {"text/plain; version=0.0.4", nullptr};
  SendResponse(io, kStatus200, body.data(), static_cast<uint32_t>(body.size()), kNames, kValues);
  return 200;
}
