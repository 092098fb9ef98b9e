#include "collector/provider_metrics.h"

#include <atomic>
#include <memory>
#include <mutex>

namespace {

struct Counters {
  std::atomic<uint64_t> launches{0};
  std::atomic<uint64_t> crashRecoveries{0};
  std::atomic<uint64_t> heartbeatFailures{0};
  std::atomic<uint64_t> routed[kStatusClassCount] = {};
  std::atomic<uint64_t> bytesRouted{0};
};

// Entries are never removed, so a pointer handed out stays valid.
std::mutex g_mutex;
std::map<std::string, std::unique_ptr<Counters>> g_table;
std::atomic<uint64_t> g_trips{0};

Counters& Of(const std::string& name) {
  std::lock_guard<std::mutex> hold(g_mutex);
  std::unique_ptr<Counters>& slot = g_table[name];
  if (!slot) slot = std::make_unique<Counters>();
  return *slot;
}

}  // namespace

const char* StatusClassLabel(int statusClass) {
  static const char* const kLabels[kStatusClassCount] = {"1xx", "2xx", "3xx", "4xx", "5xx", "other"};
  return statusClass >= 0 && statusClass < kStatusClassCount ? kLabels[statusClass] : kLabels[5];
}

int StatusClassOf(int status) { return status >= 100 && status <= 599 ? status / 100 - 1 : 5; }

void CountProviderLaunch(const std::string& name, bool crashRecovery) {
  Counters& counters = Of(name);
  ++counters.launches;
  if (crashRecovery) ++counters.crashRecoveries;
}

void CountHeartbeatFailure(const std::string& name) { ++Of(name).heartbeatFailures; }

void CountRoutedRequest(const std::string& name, int status, uint64_t bytes) {
  Counters& counters = Of(name);
  ++counters.routed[StatusClassOf(status)];
  counters.bytesRouted += bytes;
}

void CountRelaunchLimitTrip() { ++g_trips; }

std::map<std::string, ProviderCounts> SnapshotProviderCounts() {
  std::map<std::string, ProviderCounts> copy;
  std::lock_guard<std::mutex> hold(g_mutex);
  for (const auto& [name, counters] : g_table) {
    ProviderCounts& counts = copy[name];
    counts.launches = counters->launches.load();
    counts.crashRecoveries = counters->crashRecoveries.load();
    counts.heartbeatFailures = counters->heartbeatFailures.load();
    for (int i = 0; i < kStatusClassCount; ++i) counts.routed[i] = counters->routed[i].load();
    counts.bytesRouted = counters->bytesRouted.load();
  }
  return copy;
}

uint64_t RelaunchLimitTrips() { return g_trips.load(); }
