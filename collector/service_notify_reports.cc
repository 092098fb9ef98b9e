#include "collector/service_notify_reports.h"

#include <atomic>
#include <cinttypes>
#include <cstdio>

#include "platform/clock.h"
#include "platform/service_notify.h"
#include "runtime/log.h"
#include "runtime/server_loop.h"

namespace {

std::atomic<bool> g_readySent{false};
std::atomic<bool> g_stoppingSent{false};
uint64_t g_nextWatchdogMs = 0;  // the loop thread's

void Send(const char* message) {
  if (platform::SendServiceNotify(message) != 0) Log(16, "Service manager notification failed: %s\n", message);
}

// The loop's tick: "WATCHDOG=1" when one is due; the milliseconds until
// the next is due.
int WatchdogTick() {
  const uint64_t nowMs = platform::TickCountMs();
  const uint64_t usec = platform::ServiceWatchdogUsec();
  const uint64_t halfMs = usec / 2000 > 0 ? usec / 2000 : 1;
  if (nowMs >= g_nextWatchdogMs) {
    Send("WATCHDOG=1");
    g_nextWatchdogMs = nowMs + halfMs;
  }
  return static_cast<int>(g_nextWatchdogMs - nowMs);
}

// Before the first "READY=1" a reload is part of the start: nothing is
// reported for it.
void ReloadBegins() {
  if (!g_readySent.load()) return;
  // A manager that tracks reloads wants the monotonic time with the
  // notice; others ignore the extra line.
  char message[64];
  snprintf(message, sizeof message, "RELOADING=1\nMONOTONIC_USEC=%" PRIu64,
           static_cast<uint64_t>(platform::MonotonicCounter() / 1000));
  Send(message);
}

void ReloadEnded() {
  if (g_readySent.load()) Send("READY=1");
}

}  // namespace

void TakeServiceManagerEnvironment() { platform::TakeServiceNotifyEnvironment(); }

void InstallServiceManagerReports() {
  if (!platform::ServiceNotifyEnabled()) return;
  const uint64_t usec = platform::ServiceWatchdogUsec();
  Log(16, "Service manager notifications on; watchdog every %" PRIu64 " ms (0: none)\n", usec / 2000);
  LoopHooks hooks;
  if (usec != 0) hooks.tick = WatchdogTick;
  hooks.reconfigBegins = ReloadBegins;
  hooks.reconfigEnded = ReloadEnded;
  SetLoopHooks(hooks);
}

void ReportServiceReady() {
  if (platform::ServiceNotifyEnabled() && !g_readySent.exchange(true)) Send("READY=1");
}

void ReportServiceStopping() {
  if (platform::ServiceNotifyEnabled() && !g_stoppingSent.exchange(true)) Send("STOPPING=1");
}

