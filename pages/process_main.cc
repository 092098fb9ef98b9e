// main() of every executable in the family: the runtime's entry with the
// page framework's hooks. The application linked beside it supplies
// ProviderUniqueName, ProviderInitialize and ProviderPostOptions.
#include "pages/standard_pages.h"
#include "runtime/entry.h"

int main(int argc, char** argv) {
  EntryHooks hooks;
  hooks.registerStandardPages = RegisterStandardPages;
  hooks.registerStatsPage = RegisterStatsPage;
  return RunEntry(argc, argv, hooks);
}
