// A counting semaphore for handing work to a parked thread (POSIX sem_t).
// Post costs a system call only when a thread is waiting, and a wait that
// is woken takes nothing more: no lock to take again, no spinning first.
#pragma once
#include <semaphore.h>

namespace platform {

class HandOff {
 public:
  HandOff();
  ~HandOff();
  HandOff(const HandOff&) = delete;
  HandOff& operator=(const HandOff&) = delete;

  // One more unit; wakes one waiter.
  void Post();
  // Takes a unit, waiting at most timeoutMs (on the monotonic clock). True
  // when one was taken.
  bool WaitMs(int timeoutMs);
  // Takes a unit, waiting as long as it takes.
  void Wait();

 private:
  sem_t sem_;
};

}  // namespace platform
