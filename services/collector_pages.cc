#include "services/collector_pages.h"

#include "collector/inventory_page.h"
#include "collector/provider_control_page.h"
#include "services/collector_stats_page.h"
#include "services/heartbeat_monitor_page.h"
#include "services/metrics_page.h"
#include "services/schedule_access_page.h"

const CollectorPageRow kCollectorPages[kCollectorPageCount] = {
    {"/inventory", false, InventoryPage::Create},
    {"/extschedule", true, ScheduleAccessPage::Create},
    {"/collector/stats", false, CollectorStatsPage::Create},
    {"/providercontrol", false, ProviderControlPage::Create},
    {"/heartbeat/monitor", false, HeartbeatMonitorPage::Create},
    {"/metrics", false, MetricsPage::Create},
};
