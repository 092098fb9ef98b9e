// The server's shared master configuration and ruleset object.
//
// While the loop thread walks the pages for a reconfiguration or a late
// initialization (masterConfigCacheEnabled), the first page that asks for
// the master configuration loads one parsed copy into the server record and
// every page gets a read-only view over it; the walk's end releases it.
// Views must not outlive the walk that handed them out.
//
// The ruleset parser is built, with loading on, at the first alert lookup
// and kept in the server record until a walk ends, so that rulesets are
// read again after a reconfiguration or a late initialization.
#pragma once
#include <memory>
#include <string>

#include "xml/alert_config.h"
#include "xml/configuration_file.h"

// A view over the cached copy (loading it when the cache is enabled and
// empty), or null when no copy is available.
std::unique_ptr<ConfigurationFile> GetCachedMasterConfig();

// Replaces the cache by a fresh read of the module directory's master
// configuration. Released by ReleaseMasterConfigCache (runtime/config_walk.h).
void LoadMasterConfigCache();

// Adds to *result the valid alert configurations filed under alertId.
void GetAlertConfigs(const std::string& alertId, AlertConfigCollection* result);
