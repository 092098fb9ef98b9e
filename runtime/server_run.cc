#include "runtime/server_run.h"

#include "platform/signals.h"
#include "runtime/log.h"
#include "runtime/monitor_server.h"

int RunServer() {
  MonitorServer& server = TheServer();
  Log(64, "MonitorServer::Run\n");
  while (server.shutdownRequested.load() == 0) {
    server.signalEvent.Wait(-1);
    if (platform::TakeSignals() & platform::kSignalShutdown) {
      Log(64, "Signal Shutdown\n");
      server.shutdownRequested = 1;
    }
  }
  return 0;
}
