// The collector's wakeup scheduler, "/extschedule" (hidden). Providers that
// may exit while idle ask it to wake one of their pages later: each wakeup
// is one timer of this page, named by the composite cookie of (page,
// cookie). When timers fall due the page posts to the provider's
// "/extalarm" (launching the provider when it is not running): one due
// timer as ?page=P&cookie=C, several as ?alarms=1 with an alarms document,
// one request per provider.
//
//   POST ?cmd=add|addrenew|del|mod&page=P&cookie=C&delay=S
//        200 with "added", "replaced", "deleted", "modified" or "none";
//        400 with an empty body when the command does not match
//   GET  ?timerstatus=...  the framework's timer listing
//   GET  (anything else)   <TIMERS secondsAccumulated=".."> with one
//                          <TIMER page cookie interval remains renews
//                          initial/> per wakeup
//
// Threads: commands (POST) run on the loop thread, which also advances the
// timers, so every change to the list happens there; GET runs on a session
// thread and reads the list through its own lock. Each delivery runs on a
// detached thread of its own that owns its copy of the provider's record,
// so a provider that is slow, stopped or being launched never holds the
// loop; a delivery is retried (3 attempts, 1 s apart) only when a
// connection was made but no status line came back.
//
// Once the collector's shutdown has begun (a signal or "/shutdown"),
// commands change nothing and answer "none", and due wakeups are dropped.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "pages/monitor_page.h"
#include "runtime/provider_con.h"

class ScheduleAccessPage : public MonitorPage {
 public:
  ScheduleAccessPage(const char* path, bool hidden);
  // The collector page table's factory.
  static ServedPage* Create(const char* path, bool hidden);

  uint32_t Initialize() override { return 0; }
  void CleanUp() override {}
  int Get(IOBase* io, const char* path, const char* query, const char* const* headerNames,
          const char* const* headerValues, int mode, int forked) override;
  int Post(IOBase* io, const char* path, const char* query, const char* const* headerNames,
           const char* const* headerValues, int mode, int forked) override;
  // Only GET runs on a session thread.
  bool ForkOnRequest(const char* path, const char* query, const char* const* headerNames,
                     const char* const* headerValues, int kind) override;
  void MonitorNow(uint32_t count, const std::string* itemIds) override;

  // True once the collector's shutdown has begun: no command changes the
  // list and no wakeup is sent.
  static bool WakeupsBlocked();

 private:
  void SendWakeup(const std::string& page, const std::string& cookie);
  void SendWakeup2(const std::string& page, const std::string& xml, uint32_t count);
};

// One delivery: the provider's record (a copy), the request URI and the
// body (empty for a single wakeup). Owned by the thread that delivers it.
struct WakeupRequest {
  std::unique_ptr<CProviderCon> provider;
  std::string uri;
  std::string body;
};

// Posts the request, retrying while the answer is a bare 500 (at most 3
// attempts, 1 s apart); a failed connection is not retried.
void WakeupFunction(std::unique_ptr<WakeupRequest> request);

// The body of a grouped wakeup: <alarms><alarm page=".." cookie=".."/>...
// </alarms>, compact.
std::string XMLForAlarms(const std::string* pages, const std::string* cookies, uint32_t count);
