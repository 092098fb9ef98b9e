#include "platform/clock.h"

#include <errno.h>
#include <time.h>

namespace platform {

CalendarTime UtcNow() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  tm parts{};
  gmtime_r(&ts.tv_sec, &parts);
  return CalendarTime{parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour,
                      parts.tm_min,         parts.tm_sec,     static_cast<int>(ts.tv_nsec / 1000000)};
}

int64_t MonotonicCounter() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * kCounterFrequency + ts.tv_nsec;
}

uint64_t TickCountMs() { return static_cast<uint64_t>(MonotonicCounter() / 1000000); }

void SleepMs(uint32_t ms) {
  timespec want{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
  timespec left{};
  while (nanosleep(&want, &left) != 0 && errno == EINTR) want = left;
}

}  // namespace platform
