// "/stats": the process's statistics (-g). Keeps the ServerStatistics record
// across restarts in the executable's ".stats" file (the first command-line
// word + ".stats"): loads it when the page initializes, saves it every 600
// seconds and at clean-up, and answers GET with the record followed by the
// page statistics, compact, as a sequence of top-level elements.
//
// Resident time: each save adds the wall-clock seconds since the previous
// save (or the page's creation) to total-resident-time; a clock stepped back
// adds nothing. The save timer never keeps the server from idling or delays
// a suggested shutdown.
#pragma once
#include <cstdint>
#include <string>

#include "pages/monitor_page.h"

class StatsPage : public MonitorPage {
 public:
  // `firstWord`: the executable's path as started (made absolute).
  explicit StatsPage(const std::string& firstWord);

  // Reloads the statistics and starts the save timer; returns 0.
  uint32_t Initialize() override;
  // Saves the statistics, once they were loaded: a page that never
  // initialized would otherwise overwrite the saved counts with a fresh run's.
  void CleanUp() override;
  int Get(IOBase* io, const char* path, const char* query, const char* const* headerNames,
          const char* const* headerValues, int mode, int forked) override;
  // Answers "400 Bad Request" with an empty body.
  int Post(IOBase* io, const char* path, const char* query, const char* const* headerNames,
           const char* const* headerValues, int mode, int forked) override;
  bool ForkOnRequest(const char*, const char*, const char* const*, const char* const*, int) override { return true; }
  void MonitorNow(uint32_t count, const std::string* itemIds) override;
  // 10000 while a shutdown is suggested, else the timer's own.
  uint32_t SecondsToNextTimer() override;
  bool IsIdle() override { return true; }

  // Reads the record from the stats file (waiting up to 5 s).
  void reloadStats();
  // Adds the resident time since the last write and saves the record into
  // the stats file (waiting up to 20 s; skipped when it cannot be opened).
  void writeStats();

  const std::string& File() const { return file_; }

 private:
  uint32_t ResidentSeconds() const;

  const std::string file_;
  const uint32_t created_;  // seconds since 1970
  uint32_t lastWrite_;      // seconds since 1970; the loop thread's
  bool loaded_ = false;
};
