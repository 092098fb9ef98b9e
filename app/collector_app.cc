// The collector application's hooks. They stay minimal until the collector
// application lands: then ProviderInitialize changes to the configuration
// directory, marks the server as the collector and registers its pages, and
// the post-option step applies the collector configuration file.
#include "runtime/entry.h"

std::string ProviderUniqueName() { return "Velmora_Collector"; }

int ProviderInitialize() { return 0; }

int ProviderPostOptions() { return 0; }
