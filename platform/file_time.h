// The Windows file-time scale: a 64-bit count of 100-nanosecond ticks since
// 1601-01-01 00:00:00 UTC. Documents that carry dates in this form convert
// here, in one place, to and from the platform's clock.
#pragma once
#include <cstdint>

#include "platform/clock.h"

namespace platform {

// Ticks between 1601-01-01 and the Unix epoch 1970-01-01.
constexpr uint64_t kFileTimeUnixEpoch = 116444736000000000ULL;
constexpr uint64_t kFileTimeTicksPerSecond = 10000000ULL;

// The current UTC time on the file-time scale.
uint64_t FileTimeNow();

// Seconds and nanoseconds since the Unix epoch to file time (times before
// 1601 give 0).
uint64_t FileTimeFromUnix(int64_t seconds, uint32_t nanoseconds);

// File time to a broken-down UTC calendar time (no time-zone change).
CalendarTime CalendarFromFileTime(uint64_t fileTime);

}  // namespace platform
