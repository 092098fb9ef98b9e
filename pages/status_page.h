// "/status": liveness in one element, and the optional process-id report
// to the collector (an application adds a "pid_timer" item to this page).
#pragma once
#include "pages/monitor_page.h"

class StatusPage : public MonitorPage {
 public:
  StatusPage() : MonitorPage("/status", true) {}
  uint32_t Initialize() override { return 0; }
  int Get(IOBase* io, const char* path, const char* query, const char* const* headerNames,
          const char* const* headerValues, int mode, int forked) override;
  // Acts only for mode 3 (never given by the network): raises the shutdown
  // flag without waking the loop. Anything else is 405.
  int Post(IOBase* io, const char* path, const char* query, const char* const* headerNames,
           const char* const* headerValues, int mode, int forked) override;
  void MonitorNow(uint32_t count, const std::string* itemIds) override;
  bool TimersTriggerHeartbeating() override { return false; }

  // Thread body: POSTs "/inventory?file=<application>&pid=<pid>" to the collector.
  static void SendPIDMessage();
};
