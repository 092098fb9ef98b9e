// The collector's metrics page, "/metrics": the providers' and the
// collector's counters in the Prometheus text format (version 0.0.4),
// answered from counters and records the collector already holds, without
// asking any provider and without touching a file.
//
//   per provider (label provider="NAME"):
//     velmora_provider_state{state=...}        1 for the state it is in:
//                                              loading, ready, error,
//                                              version_mismatch, failed
//     velmora_provider_up                      1 when ready and its
//                                              process runs
//     velmora_provider_launches_total, velmora_provider_crash_recoveries_total,
//     velmora_provider_heartbeat_failures_total,
//     velmora_provider_requests_total{class="2xx"...},
//     velmora_provider_routed_bytes_total
//   the collector:
//     velmora_collector_wakeups_delivered_total,
//     velmora_collector_connections_served_total,
//     velmora_collector_uptime_seconds, velmora_collector_registered_providers,
//     velmora_collector_relaunch_limit_trips_total
//
// GET runs on a session thread; POST is answered 405.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "collector/provider_metrics.h"
#include "pages/monitor_page.h"

// One provider as the page shows it. `state` is one of the state label
// values, or empty when the provider is no longer registered.
struct ProviderSample {
  std::string name;
  std::string state;
  bool up = false;
  ProviderCounts counts;
};

struct CollectorSample {
  uint64_t wakeups = 0;
  uint64_t connections = 0;
  uint64_t uptimeSeconds = 0;
  uint64_t registeredProviders = 0;
  uint64_t relaunchLimitTrips = 0;
};

// A label value with backslash, double quote and line feed escaped.
std::string EscapeLabelValue(std::string_view value);

// The whole exposition: HELP and TYPE lines for every family, then its
// samples, providers in the order given.
std::string FormatMetrics(const std::vector<ProviderSample>& providers, const CollectorSample& collector);

class MetricsPage : public MonitorPage {
 public:
  MetricsPage(const char* path, bool hidden);
  // The collector page table's factory.
  static ServedPage* Create(const char* path, bool hidden);

  uint32_t Initialize() override { return 0; }
  void CleanUp() override {}
  int Get(IOBase* io, const char* path, const char* query, const char* const* headerNames,
          const char* const* headerValues, int mode, int forked) override;
  uint32_t WriteIndexEntry(XMLAccumulator* xml, const char* path) override;
  bool ForkOnRequest(const char* path, const char* query, const char* const* headerNames,
                     const char* const* headerValues, int kind) override;

 private:
  uint64_t createdMs_;  // the monotonic clock when the collector built its pages
};
