#include "runtime/ready_signal.h"

#include <cstdio>

#include "runtime/log.h"
#include "runtime/monitor_server.h"

void SendReadySignal() {
  MonitorServer& server = TheServer();
  if (!server.options.readySignalRequested) {
    Log(128, "Signal not requested\n");
    return;
  }
  Log(128, "Signal requested\n");
  char name[260];
  snprintf(name, sizeof name, "velmora.provider.accept.event.%d", static_cast<int>(server.sockets.port));
  Log(128, "Trying to OpenEvent [%s]\n", name);
  if (server.sockets.readyEvent.OpenExisting(name) != 0) return;
  server.sockets.readyEvent.Set();
  Log(64, "Sync Signal sent\n");
}

void ResetReadySignal() {
  MonitorServer& server = TheServer();
  if (!server.sockets.readyEvent.IsOpen()) return;
  server.sockets.readyEvent.Reset();
  server.sockets.readyEvent.Close();
}
