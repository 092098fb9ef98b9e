// "/cookiemaintenance": every 60 seconds, ages every page's async cookies
// and discards the records of its finished workers. Its timer never keeps a
// provider from going idle or from cancelling its heartbeat.
#pragma once
#include "pages/monitor_page.h"

class CookieMaintenancePage : public MonitorPage {
 public:
  static constexpr uint32_t kIntervalSeconds = 60;

  CookieMaintenancePage() : MonitorPage("/cookiemaintenance", true) {}
  uint32_t Initialize() override;
  void MonitorNow(uint32_t count, const std::string* itemIds) override;
  bool TimersTriggerHeartbeating() override { return false; }
  bool IsIdle() override { return true; }

  static void DoCookieMaintenance();
};
