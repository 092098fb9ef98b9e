// The collector's own statistics, beside the server's (ServerStatistics):
// the wakeups the scheduler has delivered and the name and time of the
// master configuration in force. One record per process.
//
// The scheduler adds wakeups from its loop thread; the inventory page sets
// the configuration texts when it reads the master configuration; the
// statistics page reads all three from session threads and at its saves.
// The counter is atomic and the texts are guarded by the record's mutex, so
// a reader never sees a half-replaced text.
#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

class CollectorStatistics {
 public:
  // Wakeups handed to delivery threads: 1 per single wakeup, the alarm
  // count per grouped one.
  void AddWakeups(uint32_t count) { wakeups_.fetch_add(count, std::memory_order_relaxed); }
  uint32_t Wakeups() const { return wakeups_.load(std::memory_order_relaxed); }

  // Replaces both texts at once; empty texts mean "no master configuration".
  void SetConfig(const std::string& name, const std::string& time);
  void GetConfig(std::string* name, std::string* time) const;

 private:
  std::atomic<uint32_t> wakeups_{0};
  mutable std::mutex mutex_;  // guards the two texts
  std::string configName_;
  std::string configTime_;
};

// The process's record, created on first use.
CollectorStatistics& TheCollectorStatistics();
