#include "pages/standard_pages.h"

#include "pages/cookie_maintenance_page.h"
#include "pages/external_alarm_page.h"
#include "pages/heartbeat_page.h"
#include "pages/index_page.h"
#include "pages/schedule_page.h"
#include "pages/page_stats.h"
#include "pages/shutdown_page.h"
#include "pages/stats_page.h"
#include "pages/status_page.h"
#include "runtime/dispatch.h"
#include "runtime/page_registry.h"

namespace {
IndexPage* g_index_page = nullptr;
ShutdownPage* g_shutdown_page = nullptr;
}  // namespace

IndexPage* TheIndexPage() { return g_index_page; }
ShutdownPage* TheShutdownPage() { return g_shutdown_page; }

int RegisterStandardPages() {
  auto* index = new IndexPage;
  if (!RegisterPage(index)) return 1;
  g_index_page = index;
  if (!RegisterPage(new StatusPage)) return 1;
  if (!RegisterPage(new SchedulePage)) return 1;
  auto* shutdown = new ShutdownPage;
  if (!RegisterPage(shutdown)) return 1;
  g_shutdown_page = shutdown;
  if (!RegisterPage(new ExternalAlarmPage)) return 1;
  if (!RegisterPage(new HeartbeatPage)) return 1;
  if (!RegisterPage(new CookieMaintenancePage)) return 1;
  return 0;
}


int RegisterStatsPage(const std::string& firstWord) {
  ThePageStats().SetFile(firstWord);
  if (!RegisterPage(new StatsPage(firstWord))) return 1;
  SetRequestTimer(RecordPageRequest);  // requests are timed from now on
  return 0;
}
