#include "runtime/config_walk.h"

#include "runtime/log.h"
#include "runtime/monitor_server.h"

void BeginConfigWalk() {
  MonitorServer& server = TheServer();
  server.masterConfigCacheEnabled = true;
  server.configBusy = true;
}

void EndConfigWalk() {
  MonitorServer& server = TheServer();
  server.masterConfigCacheEnabled = false;
  ReleaseMasterConfigCache();
  server.configBusy = false;
  ReleaseRulesetCache();
}

void ReleaseMasterConfigCache() {
  Log(128, "Releasing MasterConfig Cache\n");
  TheServer().masterConfigCache.reset();
}

void ReleaseRulesetCache() {
  // The ruleset object is kept while a walk is still using it.
  if (TheServer().configBusy) return;
  std::lock_guard<std::mutex> hold(RulesetCacheLock());
  TheServer().rulesetCache.reset();
}

std::mutex& RulesetCacheLock() {
  static std::mutex lock;
  return lock;
}
