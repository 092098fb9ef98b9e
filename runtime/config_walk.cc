#include "runtime/config_walk.h"

#include <atomic>
#include <thread>

#include "runtime/log.h"
#include "runtime/monitor_server.h"

namespace {
std::atomic<std::thread::id> g_walker{};
}  // namespace

void BeginConfigWalk() {
  g_walker = std::this_thread::get_id();
  MonitorServer& server = TheServer();
  server.caches.masterConfigCacheEnabled = true;
  server.caches.configBusy = true;
}

void EndConfigWalk() {
  MonitorServer& server = TheServer();
  server.caches.masterConfigCacheEnabled = false;
  ReleaseMasterConfigCache();
  server.caches.configBusy = false;
  g_walker = std::thread::id();
  ReleaseRulesetCache();
}

bool IsConfigWalkThread() { return g_walker.load() == std::this_thread::get_id(); }

void ReleaseMasterConfigCache() {
  Log(128, "Releasing MasterConfig Cache\n");
  TheServer().caches.masterConfigCache.reset();
}

void ReleaseRulesetCache() {
  // The ruleset object is kept while a walk is still using it.
  if (TheServer().caches.configBusy) return;
  std::lock_guard<std::mutex> hold(RulesetCacheLock());
  TheServer().caches.rulesetCache.reset();
}

std::mutex& RulesetCacheLock() {
  static std::mutex lock;
  return lock;
}
