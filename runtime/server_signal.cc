#include "runtime/server_signal.h"

#include "platform/signals.h"
#include "runtime/log.h"
#include "runtime/monitor_server.h"

void Signal(int kind) {
  MonitorServer& server = TheServer();
  switch (kind) {
    case kSignalKindShutdown:
      server.shutdownRequested = 1;
      Log(64, "Signal Shutdown\n");
      break;
    case kSignalKindReconfig:
      server.reconfigRequested = 1;
      Log(64, "Signal Reconfig\n");
      break;
    case kSignalKindSuggestShutdown:
      server.suggestShutdownRequested = 1;
      Log(64, "Signal SuggestShutdown\n");
      break;
    default:
      return;
  }
  server.signalEvent.Set();
}

void DrainSystemSignals() {
  unsigned arrived = platform::TakeSignals();
  if (arrived & platform::kSignalShutdown) Signal(kSignalKindShutdown);
  if (arrived & platform::kSignalReconfig) Signal(kSignalKindReconfig);
}

void SetIdleTimeout(uint32_t seconds) {
  MonitorServer& server = TheServer();
  server.idleTimeoutSeconds = seconds;
  server.idleTimeoutOverridden = 1;
}
