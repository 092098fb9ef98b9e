// An auto-reset event that a poll loop can wait on: an eventfd. Set() may be
// called from any thread and from a signal handler; Consume() clears it.
#pragma once
#include <cstdint>

namespace platform {

class WakeEvent {
 public:
  WakeEvent() = default;
  ~WakeEvent();
  WakeEvent(const WakeEvent&) = delete;
  WakeEvent& operator=(const WakeEvent&) = delete;

  // Creates the descriptor (non-blocking, close-on-exec). 0 on success.
  int Create();
  void Close();
  // Marks the event set; async-signal-safe.
  void Set() const;
  // Clears the event; true when it was set.
  bool Consume() const;
  // Waits until the event is set (and clears it) or the time-out passes.
  // timeoutMs < 0 waits without limit. True when the event was set.
  bool Wait(int timeoutMs) const;
  int Fd() const { return fd_; }

 private:
  int fd_ = -1;
};

}  // namespace platform
