#include "runtime/config_walk.h"

#include <atomic>

#include "runtime/log.h"
#include "runtime/monitor_server.h"

namespace {
std::atomic<CacheReleaseFunction> g_master_release{nullptr};
std::atomic<CacheReleaseFunction> g_ruleset_release{nullptr};
}  // namespace

void SetMasterConfigRelease(CacheReleaseFunction release) { g_master_release = release; }
void SetRulesetRelease(CacheReleaseFunction release) { g_ruleset_release = release; }

void BeginConfigWalk() {
  MonitorServer& server = TheServer();
  server.caches.masterConfigCacheEnabled = true;
  server.caches.configBusy = true;
}

void EndConfigWalk() {
  MonitorServer& server = TheServer();
  server.caches.masterConfigCacheEnabled = false;
  ReleaseMasterConfigCache();
  server.caches.configBusy = false;
  ReleaseRulesetCache();
}

void ReleaseMasterConfigCache() {
  Log(128, "Releasing MasterConfig Cache\n");
  if (CacheReleaseFunction release = g_master_release.load()) release();
}

void ReleaseRulesetCache() {
  // The ruleset object is kept while a walk is still using it.
  if (TheServer().caches.configBusy) return;
  if (CacheReleaseFunction release = g_ruleset_release.load()) release();
}
