// "/shutdown": a POST starts the orderly shutdown of the server. In the
// collector that is the collector's own shutdown of its providers, which
// the collector installs as the initiator; a provider simply raises its
// shutdown signal, once.
#pragma once
#include "pages/monitor_page.h"

using ShutdownInitiator = void (*)();

class ShutdownPage : public MonitorPage {
 public:
  ShutdownPage() : MonitorPage("/shutdown", true) {}
  bool ForkOnRequest(const char*, const char*, const char* const*, const char* const*, int) override { return false; }
  int Post(IOBase* io, const char* path, const char* query, const char* const* headerNames,
           const char* const* headerValues, int mode, int forked) override;
  static void InitiateShutdown();
  // Replaces the default initiator (null restores it).
  static void SetInitiator(ShutdownInitiator initiator);
};
