#include "pages/master_config_cache.h"

#include "pages/monitor_page.h"
#include "runtime/config_walk.h"
#include "runtime/log.h"
#include "runtime/monitor_server.h"
#include "xml/cached_configuration_file.h"
#include "xml/master_config.h"
#include "xml/ruleset_parser.h"

namespace {

class SharedMasterConfig final : public MasterConfigCache {
 public:
  explicit SharedMasterConfig(std::unique_ptr<ConfigurationFile> file) : file_(std::move(file)) {}
  const ConfigurationFile& File() const { return *file_; }

 private:
  std::unique_ptr<ConfigurationFile> file_;
};

class SharedRulesets final : public RulesetCache {
 public:
  RulesetParser parser{true};
};

}  // namespace

std::unique_ptr<ConfigurationFile> GetCachedMasterConfig() {
  MonitorServer& server = TheServer();
  bool walking = IsConfigWalkThread();
  if (walking && server.caches.masterConfigCacheEnabled && server.caches.masterConfigCache == nullptr) LoadMasterConfigCache();
  if (!walking || server.caches.masterConfigCache == nullptr) {
    Log(128, "MonitorServer::GetCachedMasterConfig; no cached copy available\n");
    return nullptr;
  }
  Log(128, "MonitorServer::GetCachedMasterConfig Returning copy of MasterConfig Cache\n");
  return std::make_unique<CachedConfigurationFile>(
      static_cast<const SharedMasterConfig&>(*server.caches.masterConfigCache).File());
}

void LoadMasterConfigCache() {
  Log(128, "Loading MasterConfig Cache\n");
  ReleaseMasterConfigCache();
  TheServer().caches.masterConfigCache =
      std::make_unique<SharedMasterConfig>(OpenMasterConfig(MonitorPage::ModuleDirectory(), false));
}

void GetAlertConfigs(const std::string& alertId, AlertConfigCollection* result) {
  std::lock_guard<std::mutex> hold(RulesetCacheLock());
  std::unique_ptr<RulesetCache>& cache = TheServer().caches.rulesetCache;
  if (cache == nullptr) cache = std::make_unique<SharedRulesets>();
  static_cast<const SharedRulesets&>(*cache).parser.Lookup(alertId, result);
}

std::unique_ptr<ConfigurationFile> MonitorPage::LoadMasterConfig(bool forUpdate, bool noSharedCopy) {
  Log(64, "MonitorPage::LoadMasterConfig called\n");
  if (!forUpdate && !noSharedCopy) {
    if (std::unique_ptr<ConfigurationFile> shared = GetCachedMasterConfig()) {
      Log(128, "MonitorPage::LoadMasterConfig Returning shared copy of master configuration TEST-MASTERCONFIGSHARED\n");
      return shared;
    }
  }
  if (forUpdate) {
    Log(128, "MonitorPage::LoadMasterConfig (forupdate) called; releasing master config cache if any\n");
    if (IsConfigWalkThread()) ReleaseMasterConfigCache();
  }
  Log(128, "MonitorPage::LoadMasterConfig Reading master configuration TEST-MASTERCONFIGNOTSHARED\n");
  return OpenMasterConfig(ModuleDirectory(), forUpdate);
}
