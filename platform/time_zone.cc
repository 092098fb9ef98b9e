#include "platform/time_zone.h"

#include <time.h>

#include <mutex>

namespace platform {

namespace {
// tzset rewrites the C library's zone state (the `timezone` global, the
// cached TZ text) while session threads format access-log dates at once:
// every use of that state goes under this lock.
std::mutex& ZoneLock() {
  static std::mutex* lock = new std::mutex;
  return *lock;
}
}  // namespace

int64_t UnixTimeNow() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  return ts.tv_sec;
}

CalendarTime LocalTimeOf(int64_t unixSeconds) {
  std::lock_guard<std::mutex> guard(ZoneLock());
  tzset();  // localtime_r need not look at TZ again on its own
  time_t t = static_cast<time_t>(unixSeconds);
  tm parts{};
  localtime_r(&t, &parts);
  return CalendarTime{parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour,
                      parts.tm_min,         parts.tm_sec,     0};
}

int StandardBiasMinutes() {
  std::lock_guard<std::mutex> guard(ZoneLock());
  tzset();
  // `timezone` is seconds west of UTC for standard time, which is exactly
  // the bias (UTC minus local) without daylight saving.
  return static_cast<int>(timezone / 60);
}

}  // namespace platform
