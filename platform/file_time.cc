#include "platform/file_time.h"

#include <time.h>

namespace platform {

uint64_t FileTimeNow() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  return FileTimeFromUnix(ts.tv_sec, static_cast<uint32_t>(ts.tv_nsec));
}

uint64_t FileTimeFromUnix(int64_t seconds, uint32_t nanoseconds) {
  const int64_t epochSeconds = static_cast<int64_t>(kFileTimeUnixEpoch / kFileTimeTicksPerSecond);
  if (seconds < -epochSeconds) return 0;
  return static_cast<uint64_t>(seconds + epochSeconds) * kFileTimeTicksPerSecond + nanoseconds / 100;
}

CalendarTime CalendarFromFileTime(uint64_t fileTime) {
  const int64_t epochSeconds = static_cast<int64_t>(kFileTimeUnixEpoch / kFileTimeTicksPerSecond);
  time_t seconds = static_cast<time_t>(static_cast<int64_t>(fileTime / kFileTimeTicksPerSecond) - epochSeconds);
  tm parts{};
  gmtime_r(&seconds, &parts);
  int ms = static_cast<int>((fileTime % kFileTimeTicksPerSecond) / 10000);
  return CalendarTime{parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour,
                      parts.tm_min,         parts.tm_sec,     ms};
}

}  // namespace platform
