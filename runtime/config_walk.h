// The master-configuration cache and the ruleset object around walks over
// the pages.
//
// While a reconfiguration or a late initialization walks the pages, every
// page that loads the master configuration shares one parsed copy; the copy
// is dropped when the walk ends. The runtime keeps only the flags and the
// release points; the layer that parses the master configuration installs
// the release functions.
#pragma once

using CacheReleaseFunction = void (*)();

// Installed by the master-configuration layer; null until then.
void SetMasterConfigRelease(CacheReleaseFunction release);
void SetRulesetRelease(CacheReleaseFunction release);

// Sets masterConfigCacheEnabled and configBusy.
void BeginConfigWalk();
// Clears masterConfigCacheEnabled and releases the master-configuration
// cache; clears configBusy and releases the ruleset object.
void EndConfigWalk();

// The release points themselves (also used outside walks).
void ReleaseMasterConfigCache();
void ReleaseRulesetCache();
