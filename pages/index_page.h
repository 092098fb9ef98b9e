// "/index": the list of the server's visible pages. The collector's first
// "/index?collectorrequest=1" is also what lets a provider started with -f
// run its late initialization.
#pragma once
#include "pages/monitor_page.h"

// The interface version written wherever the system states it.
constexpr const char* kInterfaceVersion = "1.2.0.1";

class IndexPage : public MonitorPage {
 public:
  IndexPage();
  bool ForkOnRequest(const char*, const char*, const char* const*, const char* const*, int) override { return false; }
  int Get(IOBase* io, const char* path, const char* query, const char* const* headerNames,
          const char* const* headerValues, int mode, int forked) override;

  // Announces another interface version from now on (a provider built for
  // an older collector; tests). Called before the loop starts.
  static void OverrideVersion(const char* version);
};
