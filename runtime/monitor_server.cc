#include "runtime/monitor_server.h"

MonitorServer& TheServer() {
  // Built on first use and never destroyed, so that detached threads that
  // still run at process exit never see a destroyed record.
  static MonitorServer* server = new MonitorServer;
  return *server;
}
