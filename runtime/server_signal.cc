#include "runtime/server_signal.h"

#include "platform/signals.h"
#include "runtime/log.h"
#include "runtime/monitor_server.h"

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

void TakeSystemSignals(void (*between)()) {
  unsigned arrived = platform::ConsumeWakeAndTakeSignals(between);
  if (arrived & platform::SignalBit(platform::kSignalShutdown)) RaiseServerSignal(platform::kSignalShutdown);
  if (arrived & platform::SignalBit(platform::kSignalReconfig)) RaiseServerSignal(platform::kSignalReconfig);
}

void SetIdleTimeout(uint32_t seconds) {
  MonitorServer& server = TheServer();
  server.idle.idleTimeoutSeconds = seconds;
  server.idle.idleTimeoutOverridden = 1;
}
