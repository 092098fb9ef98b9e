// The collector's statistics page, "/collector/stats": how busy the
// collector is. It shows the server's request statistics (ServerStatistics),
// the wakeups the scheduler delivered and the master configuration in force
// (CollectorStatistics), and saves the same values every hour and at
// clean-up into "collector.stats" in the configuration directory, a file
// each run starts anew.
//
//   GET ?providers=..   <providerstats> with one <provider name="..">
//                       per provider that keeps statistics, in name order,
//                       whose text is the body of that provider's "/stats"
//                       (a provider not running is launched to answer)
//   GET (anything else) <collectorstats>: the server statistics elements,
//                       then wakeups, configname, configtime
//   POST                400, empty body
//
// Both answers are compact. File form, under the section "connections":
// the server statistics keys, then "wakeups", "configname", "configtime".
//
// Threads: every request runs on a session thread; the provider requests
// are made one after another on it, each on a copy of the provider's
// record. The save runs on the loop thread (timer) or at clean-up.
#pragma once
#include <atomic>
#include <cstdint>
#include <string>

#include "pages/monitor_page.h"

constexpr const char* kCollectorStatsFile = "collector.stats";

class CollectorStatsPage : public MonitorPage {
 public:
  CollectorStatsPage(const char* path, bool hidden) : MonitorPage(path, hidden) {}
  // The collector page table's factory.
  static ServedPage* Create(const char* path, bool hidden);

  // Deletes the last run's file, adds the hourly "savestats" item (due at
  // the first timer advance) and records the start time.
  uint32_t Initialize() override;
  // Saves once more (only when Initialize ran: a page that never started
  // must not overwrite another run's file).
  void CleanUp() override;
  int Get(IOBase* io, const char* path, const char* query, const char* const* headerNames,
          const char* const* headerValues, int mode, int forked) override;
  uint32_t WriteIndexEntry(XMLAccumulator* xml, const char* path) override;
  int Post(IOBase* io, const char* path, const char* query, const char* const* headerNames,
           const char* const* headerValues, int mode, int forked) override;
  bool ForkOnRequest(const char*, const char*, const char* const*, const char* const*, int) override { return true; }
  void MonitorNow(uint32_t count, const std::string* itemIds) override;

  // Writes the statistics into the file (waiting up to 20 s for it); does
  // nothing when the file cannot be had.
  void writeStats();

  // Where the file lives: the configuration directory when it is absolute,
  // else the working directory (the collector has already changed into the
  // configuration directory, so a relative one must not be applied twice).
  static std::string StatsFilePath();

 private:
  int getProviderStats(IOBase* io);
  // Seconds since Initialize by the wall clock; 0 when the clock went back.
  uint32_t CurrentResident() const;

  std::atomic<int64_t> startTime_{0};  // seconds since 1970; 0 until Initialize
};
