#include "runtime/monitor_server.h"

#include "runtime/served_page.h"  // the registry owns its pages
#include "runtime/session.h"      // the connection list owns its records

MonitorServer::MonitorServer() = default;
MonitorServer::~MonitorServer() = default;

MonitorServer& TheServer() {
  // Built on first use and never destroyed, so that detached threads that
  // still run at process exit never see a destroyed record.
  static MonitorServer* server = new MonitorServer;
  return *server;
}
