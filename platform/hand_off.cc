#include "platform/hand_off.h"

#include <cerrno>
#include <ctime>

namespace platform {

HandOff::HandOff() { sem_init(&sem_, 0, 0); }

HandOff::~HandOff() { sem_destroy(&sem_); }

void HandOff::Post() { sem_post(&sem_); }

bool HandOff::WaitMs(int timeoutMs) {
  timespec deadline{};
  clock_gettime(CLOCK_MONOTONIC, &deadline);
  deadline.tv_sec += timeoutMs / 1000;
  deadline.tv_nsec += static_cast<long>(timeoutMs % 1000) * 1000000L;
  if (deadline.tv_nsec >= 1000000000L) {
    deadline.tv_sec += 1;
    deadline.tv_nsec -= 1000000000L;
  }
  for (;;) {
    if (sem_clockwait(&sem_, CLOCK_MONOTONIC, &deadline) == 0) return true;
    if (errno != EINTR) return false;  // ETIMEDOUT
  }
}

void HandOff::Wait() {
  while (sem_wait(&sem_) != 0 && errno == EINTR) {
  }
}

}  // namespace platform
