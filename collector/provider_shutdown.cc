#include "collector/provider_shutdown.h"

#include <atomic>

#include "collector/inventory_page.h"
#include "collector/provider_map.h"
#include "collector/service_notify_reports.h"
#include "pages/monitor_page.h"
#include "pages/shutdown_page.h"
#include "platform/signals.h"
#include "runtime/log.h"
#include "runtime/provider_con.h"
#include "runtime/server_signal.h"

namespace {

constexpr int kShutdownRequestTimeoutSeconds = 3;
constexpr int kReconfigRequestTimeoutSeconds = 10;

std::atomic<bool> g_initiated{false};
std::atomic<uint32_t> g_testTicks{0};

// Runs on the loop thread: the shutdown page's POST is not forked, and the
// signal handler's action is taken by the loop after its wait.
void InitiateCollectorShutdown() {
  ReportServiceStopping();
  InventoryPage* page = TheInventoryPage();
  if (page != nullptr)
    page->InitiateShutdown();
  else
    MonitorPage::SignalShutdown();
}

}  // namespace

bool ShutdownInitiated() { return g_initiated.load(); }

bool MarkShutdownInitiated() {
  if (g_initiated.exchange(true)) return false;
  platform::SetSystemShutdownPending();
  return true;
}

uint32_t NextShutdownTestTick() { return g_testTicks.fetch_add(1) + 1; }

void SendShutdownToProviders(ProviderMap& map) {
  Log(4, "InventoryPage::ShutdownAllProviders begins\n");
  ProviderCopies copies;
  map.copyProvidersForShutdown(&copies);
  for (auto& [name, provider] : copies) {
    if (provider->LaunchData().shutdownSent.load()) {
      Log(8, "InventoryPage::ShutdownAllProviders requests shutdown for %s [PREVIOUSLY SENT]\n", name.c_str());
      continue;
    }
    Log(8, "InventoryPage::ShutdownAllProviders requests shutdown for %s\n", name.c_str());
    provider->SetVerb("post");
    provider->requestDocument("/shutdown", "", false, kShutdownRequestTimeoutSeconds, true);
  }
  copies.clear();
  Log(4, "InventoryPage::ShutdownAllProviders exits\n");
}

void SendReconfigToProviders(ProviderMap& map) {
  Log(4, "InventoryPage::RequestReconfigKids\n");
  ProviderCopies copies;
  map.copyProviders(&copies);
  for (auto& [name, provider] : copies) {
    Log(8, "InventoryPage::RequestReconfigKids for provider %s\n", name.c_str());
    provider->SetVerb("post");
    provider->requestDocument(" /extalarm?masterreconfig=1", "", true, kReconfigRequestTimeoutSeconds);
  }
  copies.clear();
  Log(4, "InventoryPage::RequestReconfigKids complete.\n");
}

void InstallCollectorShutdown() {
  ShutdownPage::SetInitiator(InitiateCollectorShutdown);
  SetSystemShutdownHandler(InitiateCollectorShutdown);
}
