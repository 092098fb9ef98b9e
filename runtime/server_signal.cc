#include "runtime/server_signal.h"

#include <atomic>

#include "platform/signals.h"
#include "runtime/log.h"
#include "runtime/monitor_server.h"

namespace {
std::atomic<SystemShutdownHandler> g_systemShutdownHandler{nullptr};
}  // namespace

void SetSystemShutdownHandler(SystemShutdownHandler handler) { g_systemShutdownHandler.store(handler); }

void RaiseServerSignal(int kind) {
  MonitorServer& server = TheServer();
  switch (kind) {
    case platform::kSignalShutdown:
      server.signals.shutdownRequested = 1;
      Log(64, "Signal Shutdown\n");
      break;
    case platform::kSignalReconfig:
      server.signals.reconfigRequested = 1;
      Log(64, "Signal Reconfig\n");
      break;
    case platform::kSignalSuggestShutdown:
      server.signals.suggestShutdownRequested = 1;
      Log(64, "Signal SuggestShutdown\n");
      break;
    default:
      return;
  }
  server.signals.signalEvent.Set();
}

bool TakeSystemSignals(void (*between)()) {
  unsigned arrived = platform::ConsumeWakeAndTakeSignals(between);
  bool handled = false;
  if (arrived & platform::SignalBit(platform::kSignalShutdown)) {
    SystemShutdownHandler handler = g_systemShutdownHandler.load();
    if (handler != nullptr)
      handler();
    else
      RaiseServerSignal(platform::kSignalShutdown);
    handled = handler != nullptr;
  }
  if (arrived & platform::SignalBit(platform::kSignalReconfig)) RaiseServerSignal(platform::kSignalReconfig);
  return handled;
}

void SetIdleTimeout(uint32_t seconds) {
  MonitorServer& server = TheServer();
  server.idle.idleTimeoutSeconds = seconds;
  server.idle.idleTimeoutOverridden = 1;
}
