#include "runtime/heartbeat.h"

#include <string>

#include "runtime/log.h"
#include "runtime/monitor_server.h"
#include "runtime/local_request.h"
#include "runtime/served_page.h"

bool SendHeartbeatCommand(uint32_t intervalMinutes, bool cancel) {
  MonitorServer& server = TheServer();
  Log(256, "MonitorServer::SendHeartbeatCommand\n");
  std::string target = "/heartbeat/monitor?port=" + std::to_string(server.sockets.port);
  if (intervalMinutes != 0) target += "&interval=" + std::to_string(intervalMinutes);
  if (cancel) target += "&cancel=1";
  Log(256, "MonitorServer::SendHeartbeatCommand Requesting document: %s\n", target.c_str());
  int status = RequestCollectorDocument("post", target, "", 10, nullptr);
  if (status == 200) {
    Log(256, "MonitorServer::SendHeartbeatCommand gets collector response HTTP_OK\n");
    return true;
  }
  Log(32, "MonitorServer::SendHeartbeatCommand gets collector response %d (not ok)\n", status);
  return false;
}

void UpdateHeartbeat() {
  MonitorServer& server = TheServer();
  if (!server.heartbeat.heartbeatEnabled) return;
  Log(256, "MonitorServer::UpdateHeartbeat\n");
  bool wanted = false;
  for (auto& [path, page] : server.pages) {
    if (page->IsHidden()) continue;
    if (page->TimersTriggerHeartbeating()) {
      Log(256, "timers on page %s trigger heartbeating\n", path.c_str());
      wanted = true;
      break;
    }
  }
  if (wanted == server.heartbeat.heartbeatActive) return;
  if (wanted) {
    SendHeartbeatCommand(server.heartbeat.heartbeatIntervalMinutes, false);
    server.heartbeat.heartbeatActive = true;
  } else {
    SendHeartbeatCommand(0, true);
    server.heartbeat.heartbeatActive = false;
  }
}

void StartHeartbeatTracking() {
  TheServer().heartbeat.heartbeatTracking = true;
  UpdateHeartbeat();
}

void RecheckHeartbeat() {
  MonitorServer& server = TheServer();
  if (server.heartbeat.heartbeatTracking && !server.isCollector) UpdateHeartbeat();
}
