#include "pages/cookie_maintenance_page.h"

#include "runtime/log.h"
#include "runtime/monitor_server.h"

uint32_t CookieMaintenancePage::Initialize() {
  Log(256, "Cookie maintenance internal timer set for %d seconds\n", static_cast<int>(kIntervalSeconds));
  AddMonitoredItem("cookie-maintenance", "cookie-maintenance", kIntervalSeconds, true, false, nullptr);
  return 0;
}

void CookieMaintenancePage::MonitorNow(uint32_t count, const std::string* itemIds) {
  for (uint32_t i = 0; i < count; ++i)
    if (itemIds[i] == "cookie-maintenance") DoCookieMaintenance();
}

void CookieMaintenancePage::DoCookieMaintenance() {
  Log(256, "DoCookieMaintenance\n");
  for (auto& [path, page] : TheServer().pages) {
    auto* monitorPage = dynamic_cast<MonitorPage*>(page.get());
    if (monitorPage == nullptr) continue;
    monitorPage->AgeAsyncCookies();
    monitorPage->workersMaintenance();
  }
}
