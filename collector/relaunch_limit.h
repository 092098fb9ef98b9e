// Keeps a provider that cannot stay up from being launched for ever.
//
// Every failed launch of a provider (the process was not created, or it
// ended or its port never answered within the launch wait) and every crash
// recovery launch is one event. After kRelaunchLimitEvents events of one
// provider within kRelaunchLimitWindowMs the collector gives up on it: its
// launches are refused (so routed requests for its pages find nothing to
// connect to and are answered 503 at once) and "/inventory" shows its state
// as "failed", until a
// "/providercontrol" start or a reload clears it. Without this a provider
// that crashes at start would be relaunched by every routed request and
// every heartbeat.
#pragma once
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>

constexpr size_t kRelaunchLimitEvents = 5;
constexpr uint64_t kRelaunchLimitWindowMs = 60000;

class RelaunchLimit {
 public:
  // Records the outcome of one launch of `name` at `nowMs` (monotonic);
  // `counted` when it failed or was a crash recovery. True when this event
  // made the collector give up (only once until cleared).
  bool Note(const std::string& name, bool counted, uint64_t nowMs);
  bool GivenUp(const std::string& name) const;
  void Clear(const std::string& name);
  void ClearAll();

 private:
  struct Entry {
    std::deque<uint64_t> events;  // within the window, oldest first
    bool givenUp = false;
  };
  mutable std::mutex mutex_;
  std::map<std::string, Entry> entries_;
};

// The collector's one limit.
RelaunchLimit& TheRelaunchLimit();
