// Counters kept per provider for the metrics page: launches, crash
// recovery launches, failed heartbeats, requests routed by status class
// and bytes routed; and the collector's relaunch-limit trips. The places
// that launch, route and heartbeat add to them; the page reads a copy.
//
// Threads: any. The name table is guarded by its own mutex (never held
// while anything else is locked or done); the counters are atomic.
#pragma once
#include <cstdint>
#include <map>
#include <string>

// Status classes of routed requests: 1xx to 5xx; anything else is "other".
constexpr int kStatusClassCount = 6;
// "1xx" .. "5xx", and "other" for the last class.
const char* StatusClassLabel(int statusClass);
// The class index of an HTTP status.
int StatusClassOf(int status);

struct ProviderCounts {
  uint64_t launches = 0;
  uint64_t crashRecoveries = 0;
  uint64_t heartbeatFailures = 0;
  uint64_t routed[kStatusClassCount] = {};
  uint64_t bytesRouted = 0;
};

// A launch that started a process (crashRecovery: it was a recovery).
void CountProviderLaunch(const std::string& name, bool crashRecovery);
void CountHeartbeatFailure(const std::string& name);
// One routed request: the status the client got and the bytes written to it.
void CountRoutedRequest(const std::string& name, int status, uint64_t bytes);
void CountRelaunchLimitTrip();

// Copies of every provider's counts (those counted at least once) and the
// trips.
std::map<std::string, ProviderCounts> SnapshotProviderCounts();
uint64_t RelaunchLimitTrips();
