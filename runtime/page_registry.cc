#include "runtime/page_registry.h"

#include "runtime/log.h"
#include "runtime/monitor_server.h"
#include "runtime/served_page.h"

bool RegisterPage(ServedPage* page) {
  if (page == nullptr) return false;
  if (page->LateInitialize() != 0) {
    delete page;
    return false;
  }
  if (page->RegisterWithServer() != 0) {
    page->CleanUp();
    delete page;
    return false;
  }
  return true;
}

int AddPageToRegistry(ServedPage* page) {
  auto inserted = TheServer().pages.emplace(page->Path(), page);
  return inserted.second ? 0 : 1;
}

void CleanUpAllPages() {
  MonitorServer& server = TheServer();
  for (auto& [path, page] : server.pages) {
    Log(1024, "Call Cleaning up for page %s\n", path.c_str());
    page->CleanUp();
    delete page;
  }
  server.pages.clear();
}

void MakeHeartbeatDecision() {
  // Filled by the heartbeat registration with the collector, which comes
  // with page timers: a provider whose visible pages keep timers registers
  // for heartbeats, one whose timers are all gone cancels. Until pages can
  // keep timers there is nothing to decide.
}
