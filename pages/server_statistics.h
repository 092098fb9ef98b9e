// ServerStatistics: the one record per process of what the dispatcher and
// the timers did, kept across restarts by the statistics page ("/stats") and
// shown by the collector's statistics page.
//
// The five request counters are the dispatcher's own (runtime/dispatch.h,
// "pagefound" is its count of fork decisions: every request that matched a
// page is asked whether it forks); this record adds the timer, resident-time
// and wakeup counters, the first date and the carried provider counts. All
// counters are atomics changed with relaxed order from any thread: they are
// statistics, nothing is ordered by them.
//
// File form (a configuration file, keys at the level given):
//   first (only written into a new file), as-of, forwarded, pagenotfound,
//   pagefound, forked, unforked, timerserviced, total-resident-time,
//   external-wakeups, current-resident-time, section "providerstats".
// Numbers are decimal ("%lu").
#pragma once
#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <utility>

class Configuration;
class ConfigurationFile;
class XMLAccumulator;
class XMLNode;

class ServerStatistics {
 public:
  ServerStatistics();

  void IncrementForwarded();
  void IncrementPageNotFound();
  void IncrementPageFound();
  void IncrementForked();
  void IncrementUnforked();
  void AddTimerServiced(uint32_t n);
  void AddResidentTime(uint32_t seconds);
  void AddExternalWakeup();

  uint32_t Forwarded() const;
  uint32_t PageNotFound() const;
  uint32_t PageFound() const;
  uint32_t Forked() const;
  uint32_t Unforked() const;
  uint32_t TimerServiced() const { return timerServiced_.load(std::memory_order_relaxed); }
  uint32_t TotalResidentTime() const { return residentTime_.load(std::memory_order_relaxed); }
  uint32_t ExternalWakeups() const { return externalWakeups_.load(std::memory_order_relaxed); }
  // The bracketed access-log date of the process start.
  const std::string& First() const { return first_; }

  // Writes the record at `parent` of an open-for-write file (see the file
  // form above); "first" only when `fileIsNew`.
  void Save(Configuration* file, XMLNode* parent, bool fileIsNew, uint32_t currentResident) const;
  // Zeroes the first six counters and the provider counts, then reads every
  // counter key `parent` holds and the keys of its "providerstats" section.
  void Load(const Configuration& file, XMLNode* parent);
  // At the builder's current node: one element per counter, current-resident-
  // time, then "providerstats" with one element per provider.
  void WriteXML(XMLAccumulator* xml, uint32_t currentResident) const;

 private:
  // The counters in their file and reply order, then current-resident-time.
  using CounterValues = std::array<std::pair<const char*, uint32_t>, 9>;
  CounterValues Values(uint32_t currentResident) const;

  std::atomic<uint32_t> timerServiced_{0};
  std::atomic<uint32_t> residentTime_{0};
  std::atomic<uint32_t> externalWakeups_{0};
  std::string first_;
  mutable std::mutex providersMutex_;  // guards providerStats_
  std::map<std::string, uint32_t> providerStats_;
};

// The process's record, created on first use.
ServerStatistics& TheServerStatistics();

// Opens a statistics file for writing, waiting up to `waitSeconds`. A file
// whose text does not parse counts as empty: it gets a new document (its text
// is kept beside it as NAME.bad by the save) and *isNew is set, so that one
// corrupt file never blocks every later save. False when it cannot be opened.
bool OpenStatisticsForWrite(ConfigurationFile* file, int waitSeconds, bool* isNew);
