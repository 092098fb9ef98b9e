#include "platform/time_zone.h"

#include <time.h>

namespace platform {

int64_t UnixTimeNow() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  return ts.tv_sec;
}

CalendarTime LocalTimeOf(int64_t unixSeconds) {
  tzset();  // localtime_r need not look at TZ again on its own
  time_t t = static_cast<time_t>(unixSeconds);
  tm parts{};
  localtime_r(&t, &parts);
  return CalendarTime{parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour,
                      parts.tm_min,         parts.tm_sec,     0};
}

int StandardBiasMinutes() {
  tzset();
  // `timezone` is seconds west of UTC for standard time, which is exactly
  // the bias (UTC minus local) without daylight saving.
  return static_cast<int>(timezone / 60);
}

}  // namespace platform
