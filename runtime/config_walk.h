// The master-configuration cache and the ruleset object around walks over
// the pages.
//
// While a reconfiguration or a late initialization walks the pages, every
// page that loads the master configuration shares one parsed copy; the copy
// is dropped when the walk ends. The runtime keeps only the flags and the
// objects (see server_caches.h); the page framework loads them.
#pragma once
#include <mutex>

// Sets masterConfigCacheEnabled and configBusy, and notes the calling
// thread as the one walking the pages.
void BeginConfigWalk();
// Clears masterConfigCacheEnabled and releases the master-configuration
// cache; clears configBusy and releases the ruleset object.
void EndConfigWalk();

// True on the thread walking the pages, while it walks. The master
// configuration cache belongs to that thread alone: a page answering a
// request on a session thread meanwhile must neither use nor release it.
bool IsConfigWalkThread();

// The release points themselves (also used outside walks).
void ReleaseMasterConfigCache();
// Kept while configBusy is set.
void ReleaseRulesetCache();

// Guards the server's rulesetCache pointer: lookups may run on any thread.
std::mutex& RulesetCacheLock();
