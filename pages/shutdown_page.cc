#include "pages/shutdown_page.h"

#include <atomic>

#include "runtime/log.h"
#include "runtime/response_writer.h"

namespace {

std::atomic<ShutdownInitiator> g_initiator{nullptr};

// A provider's shutdown: the server's shutdown signal, raised once.
void SignalShutdownOnce() {
  static std::atomic<bool> done{false};
  if (!done.exchange(true)) MonitorPage::SignalShutdown();
}

}  // namespace

void ShutdownPage::SetInitiator(ShutdownInitiator initiator) { g_initiator = initiator; }

void ShutdownPage::InitiateShutdown() {
  Log(8, "ShutdownPage::InitiateShutdown\n");
  ShutdownInitiator initiator = g_initiator.load();
  (initiator != nullptr ? initiator : SignalShutdownOnce)();
}

int ShutdownPage::Post(IOBase* io, const char* path, const char*, const char* const*, const char* const*, int, int) {
  Log(4, "ShutdownPage::Post %s.\n", path);
  ShutdownInitiator initiator = g_initiator.load();
  (initiator != nullptr ? initiator : SignalShutdownOnce)();
  SendResponse(io, kStatus200, nullptr, 0, nullptr, nullptr);
  return 200;
}
