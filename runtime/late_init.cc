#include "runtime/late_init.h"

#include <string>

#include "runtime/config_walk.h"
#include "runtime/log.h"
#include "runtime/monitor_server.h"
#include "runtime/process_globals.h"
#include "runtime/local_request.h"
#include "runtime/served_page.h"

int LateProviderInitialization() {
  MonitorServer& server = TheServer();
  Log(64, "MonitorServer::LateProviderInitialization\n");
  BeginConfigWalk();
  int result = 0;
  for (auto& [path, page] : server.pages) {
    uint32_t rv = page->LateInitialize();
    Log(128, "LateInitialization page %s rv %d\n", path.c_str(), static_cast<int>(rv));
    if (rv != 0) {
      result = 1;
      break;
    }
  }
  EndConfigWalk();
  if (server.options.firstRun) TellCollectorAboutLateInitialization(result);
  return result;
}

void TellCollectorAboutLateInitialization(int result) {
  Log(64, "MonitorServer::TellCollectorAboutLateInitialization zeroSuccessCode %d\n", result);
  // The application name goes out unescaped.
  std::string target = std::string("/inventory") + "?" + "file" + "=" + Globals().applicationName + "&" +
                       "provstatus" + "=" + (result == 0 ? "1" : "0");
  Log(128, "MonitorServer::TellCollectorAboutLateInitialization Requesting document: %s\n", target.c_str());
  int status = RequestCollectorDocument("post", target, "", 10, nullptr);
  if (status == 200)
    Log(128, "TellCollectorAboutLateInitialization gets collector response HTTP_OK\n");
  else
    Log(128, "TellCollectorAboutLateInitialization gets collector response %d (not ok)\n", status);
}

bool AllMonitorsIdle() {
  Log(64, "MonitorServer::AllMonitorsIdle\n");
  for (auto& [path, page] : TheServer().pages)
    if (!page->IsIdle()) return false;
  Log(64, "MonitorServer::AllMonitorsIdle returns true\n");
  return true;
}
