// The collector's heartbeat monitor, "/heartbeat/monitor": providers whose
// pages keep timers ask to be watched, and the collector then asks each
// for "/heartbeat" every interval and relaunches one that does not answer.
//
//   POST ?port=P&interval=M   heartbeat P every M minutes (5 when M is
//                             missing or not above 0), first after a short
//                             staggering delay (1, 2, 3, 6, 8 s in turn)
//   POST ?port=P&cancel=1     stop heartbeating P
//   POST ?recover=1&target=P  relaunch the provider on port P (the
//                             collector posts this to itself when a
//                             heartbeat fails; clients may post it too)
//   GET                       <heartbeats elapsed=".."> with one
//                             heartbeat / heartbeatdelay element per timer
//                             and one recovery-attempt per relaunched
//                             provider; "timerstatus=" lists the timers
//
// Timers are monitored items: "randomize:P" is the one-shot delay, "P" the
// renewing heartbeat (P is the port text as it came in). With "noheartbeat"
// in the collector configuration every command is answered 200 and ignored.
//
// Threads: commands (POST) and timers run on the loop thread; GET on a
// session thread. Heartbeats and recovery launches run on counted detached
// threads (runtime/start_thread.h) that own a copy of the provider's record
// and never touch the page, so teardown waits for them only a bounded time.
// The recovery-attempts map is guarded by the page lock.
#pragma once
#include <cstdint>
#include <map>
#include <string>

#include "pages/monitor_page.h"

class CProviderCon;

class HeartbeatMonitorPage : public MonitorPage {
 public:
  HeartbeatMonitorPage(const char* path, bool hidden) : MonitorPage(path, hidden) {}
  static ServedPage* Create(const char* path, bool hidden);

  uint32_t Initialize() override { return 0; }
  void CleanUp() override {}
  int Get(IOBase* io, const char* path, const char* query, const char* const* headerNames,
          const char* const* headerValues, int mode, int forked) override;
  uint32_t WriteIndexEntry(XMLAccumulator* xml, const char* path) override;
  int Post(IOBase* io, const char* path, const char* query, const char* const* headerNames,
           const char* const* headerValues, int mode, int forked) override;
  // False for POST: commands run on the loop thread, beside the timers.
  bool ForkOnRequest(const char* path, const char* query, const char* const* headerNames,
                     const char* const* headerValues, int kind) override;
  void MonitorNow(uint32_t count, const std::string* itemIds) override;

  // Counts the attempt and starts a RecoveryLaunch thread for the provider
  // on port `target`.
  void InitiateRecovery(const std::string& target);

  // Recovery attempts by provider name, read under the page lock.
  std::map<std::string, uint32_t> RecoveryAttempts();

 private:
  // The next staggering delay, in seconds.
  uint32_t NextDelay();
  void HeartbeatCommand(const std::string& portText, int32_t port, int32_t minutes, bool cancel);

  uint32_t delayIndex_ = 0;                   // the loop thread's
  std::map<int32_t, int32_t> intervals_;      // port to minutes; the loop thread's
  std::map<std::string, uint32_t> attempts_;  // guarded by the page lock
};

// The heartbeat timer's interval for `minutes`, in seconds: computed in 64
// bits and capped, so that a huge interval never wraps to a short one.
uint32_t HeartbeatSeconds(int32_t minutes);
