// test_provider: a provider whose application hooks the system tests steer
// through the environment.
//   TEST_PROVIDER_NAME  the unique name (default "Velmora test provider";
//                       set but empty gives an empty name)
//   TEST_PROVIDER_INIT  the result of ProviderInitialize (default 0)
#include <cstdlib>

#include "runtime/entry.h"

std::string ProviderUniqueName() {
  const char* name = std::getenv("TEST_PROVIDER_NAME");
  return name != nullptr ? name : "Velmora test provider";
}

int ProviderInitialize() {
  const char* result = std::getenv("TEST_PROVIDER_INIT");
  return result != nullptr ? std::atoi(result) : 0;
}

int ProviderPostOptions() { return 0; }
