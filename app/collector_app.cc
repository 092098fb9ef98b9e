// The collector executable's application hooks.
#include "services/collector_pages.h"
#include "runtime/entry.h"

std::string ProviderUniqueName() { return kCollectorUniqueName; }

int ProviderInitialize() { return CollectorInitialize(kCollectorPages, kCollectorPageCount); }

int ProviderPostOptions() { return CollectorPostOptions(); }
