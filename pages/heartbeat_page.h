// "/heartbeat": answers the collector's liveness checks with an empty 200.
#pragma once
#include "pages/monitor_page.h"

class HeartbeatPage : public MonitorPage {
 public:
  HeartbeatPage() : MonitorPage("/heartbeat", true) {}
  int Get(IOBase* io, const char* path, const char* query, const char* const* headerNames,
          const char* const* headerValues, int mode, int forked) override;
};
