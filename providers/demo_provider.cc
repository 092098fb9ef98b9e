// demo_provider: the smallest sample provider. It shows what an application
// supplies to the runtime: a unique name, an initialization that registers
// its pages, and a post-option step.
#include "runtime/entry.h"

std::string ProviderUniqueName() { return "Velmora demo provider"; }

int ProviderInitialize() { return 0; }

int ProviderPostOptions() { return 0; }
