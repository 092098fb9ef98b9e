// "/extalarm": where the collector's scheduler delivers wakeups. A POST
// carries one wakeup (?page=PATH&cookie=COOKIE), several as an alarms
// document (?alarms=..., body <alarms><alarm page=".." cookie=".."/>...),
// or a master reconfiguration request (?masterreconfig=1), which runs every
// page's Reconfig about a second later. Always answered 200.
#pragma once
#include <string>

#include "pages/monitor_page.h"

class ExternalAlarmPage : public MonitorPage {
 public:
  ExternalAlarmPage() : MonitorPage("/extalarm", true) {}
  uint32_t Initialize() override { return 0; }
  bool ForkOnRequest(const char*, const char*, const char* const*, const char* const*, int) override { return false; }
  int Get(IOBase* io, const char* path, const char* query, const char* const* headerNames,
          const char* const* headerValues, int mode, int forked) override;
  int Post(IOBase* io, const char* path, const char* query, const char* const* headerNames,
           const char* const* headerValues, int mode, int forked) override;
  void MonitorNow(uint32_t count, const std::string* itemIds) override;

  // Forwards the wakeup of every <alarm page=".." cookie=".."/> child of the
  // document's first top-level node; a body that does not parse forwards
  // nothing.
  static void ProcessAlarms(const std::string& body);
};
