// Process signals. The handlers do no work of their own: they record what
// arrived in an atomic and wake one descriptor; the loop thread then asks
// TakeSignals() what happened and acts on it.
//
//   SIGTERM, SIGINT  first one: kSignalShutdown and "system shutdown pending";
//                    a second one ends the process at once (default action).
//   SIGHUP           kSignalReconfig.
//   SIGPIPE          ignored: a peer that closes early never kills a process.
#pragma once

namespace platform {

enum : unsigned {
  kSignalShutdown = 1u,
  kSignalReconfig = 2u,
};

// Installs the handlers (SA_RESTART). wakeFd is written by each handler; it
// may be changed later by calling again. 0 on success.
int InstallSignalHandlers(int wakeFd);

// Returns the signal bits that arrived since the last call and clears them.
unsigned TakeSignals();

// "System shutdown pending": set by the first SIGTERM or SIGINT, read by the
// provider launch, which refuses to start providers while it is set.
bool SystemShutdownPending();
void SetSystemShutdownPending();

}  // namespace platform
