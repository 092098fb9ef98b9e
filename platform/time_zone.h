// Local time and the zone's standard bias, for dates in the access log.
#pragma once
#include <cstdint>

#include "platform/clock.h"

namespace platform {

// Seconds since 1970 (UTC) now.
int64_t UnixTimeNow();
// The local calendar time of `unixSeconds` (millisecond 0), using the TZ
// setting as it is now (re-read on every call).
CalendarTime LocalTimeOf(int64_t unixSeconds);
// The standard bias in minutes, UTC minus local standard time (positive
// west of UTC); daylight saving is not applied.
int StandardBiasMinutes();

}  // namespace platform
