// Waiting on several descriptors at once (the server loop's event wait).
#pragma once

namespace platform {

enum : int {
  kPollTimeout = -1,    // nothing became ready in time
  kPollInterrupt = -2,  // a signal interrupted the wait
  kPollFailure = -3,    // the wait itself failed
};

// Waits until one of `fds` is readable (or has an error or hang-up) or
// `timeoutMs` passes (< 0: no limit). Returns the lowest ready index, or
// one of the codes above. Descriptors below 0 are skipped.
int WaitAnyReadable(const int* fds, int count, int timeoutMs);

// True for an accept failure that only means "no connection after all"
// (would block, aborted by the client before the accept, interrupted): the
// loop goes on waiting instead of ending.
bool IsTransientAcceptError(int error);

}  // namespace platform
