// Process signals. They are blocked in every thread and read by one watcher
// thread, which records what arrived in an atomic and wakes one descriptor;
// the thread that waits on that descriptor then asks TakeSignals() what
// happened and acts on it.
//
//   SIGTERM, SIGINT  first one: a shutdown request and "system shutdown
//                    pending"; a second one ends the process at once.
//   SIGHUP           a reconfiguration request.
//   SIGPIPE          ignored: a peer that closes early never kills a process.
#pragma once

namespace platform {

// The requests a server acts on, whoever raises them: an operating-system
// signal (shutdown, reconfig) or a page of the process (shutdown, suggested
// shutdown). The server loop uses the same numbers for its own signals.
enum : int {
  kSignalShutdown = 0,
  kSignalReconfig = 1,
  kSignalSuggestShutdown = 2,
};
// TakeSignals() reports a set of these as bits.
constexpr unsigned SignalBit(int kind) { return 1u << kind; }

// Blocks SIGTERM, SIGINT and SIGHUP in the calling thread (call it before
// any other thread starts: threads inherit the mask) and starts the watcher.
// wakeFd (an eventfd) is written for each signal; it may be changed later by
// calling again. 0 on success. Children started by SpawnDetached
// get an empty mask back before they run.
int InstallSignalHandlers(int wakeFd);

// Ends the watcher thread (at teardown). Signals that arrive later stay
// blocked and are not acted on.
void StopSignalWatcher();

// Returns the signal bits that arrived since the last call and clears them.
unsigned TakeSignals();

// Clears the handlers' wake descriptor, then takes the signal bits until
// none are left, and returns them. The order matters: a signal that lands
// after the bits were taken but before the wake was cleared would keep its
// bit and lose its wake. Cleared first, such a signal is either taken here
// or leaves the descriptor set for the next wait. `between` (tests only) runs
// between the two steps.
unsigned ConsumeWakeAndTakeSignals(void (*between)() = nullptr);

// "System shutdown pending": set by the first SIGTERM or SIGINT, read by the
// provider launch, which refuses to start providers while it is set.
bool SystemShutdownPending();
void SetSystemShutdownPending();

}  // namespace platform
