// Waiting on several descriptors at once (the server loop's event wait).
#pragma once
#include <cstddef>
#include <vector>

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

// A set of descriptors waited on for input, rebuilt before each wait. The
// loop adds its events, its listen socket and every connection whose
// request has not fully arrived, then asks which became ready.
class PollSet {
 public:
  void Clear() { entries_.clear(); }
  // Adds `fd`, waited on for input or the peer's hang-up; returns its index.
  size_t Add(int fd);
  size_t Size() const { return entries_.size(); }
  // Waits at most timeoutMs (< 0: no limit). The number of ready entries,
  // 0 on time-out, kPollInterrupt or kPollFailure.
  int Wait(int timeoutMs);
  // Input (or an error) is waiting on entry i.
  bool Ready(size_t i) const;
  // The peer of entry i will send nothing more (shut down or gone).
  bool HungUp(size_t i) const;

 private:
  struct Entry {
    int fd;
    short events;
    short revents;
  };
  std::vector<Entry> entries_;
};

// How the server loop should take a failed accept.
enum class AcceptFailure {
  kTransient,  // no connection after all (would block, aborted, interrupted)
  kExhausted,  // out of descriptors or memory: pause accepting, retry later
  kFatal,      // the listen socket itself is broken
};
AcceptFailure ClassifyAcceptError(int error);

// True for an accept failure that only means "no connection after all".
bool IsTransientAcceptError(int error);

}  // namespace platform
