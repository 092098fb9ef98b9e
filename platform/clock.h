// Clocks: the UTC calendar time, a monotonic high-resolution counter and a
// millisecond tick count.
#pragma once
#include <cstdint>

namespace platform {

// A broken-down UTC time (month 1-12, day 1-31).
struct CalendarTime {
  int year, month, day, hour, minute, second, millisecond;
};

// The current UTC time.
CalendarTime UtcNow();

// Monotonic counter in nanoseconds; its frequency is kCounterFrequency ticks
// per second. Never steps backwards when the wall clock is changed.
constexpr int64_t kCounterFrequency = 1000000000;
int64_t MonotonicCounter();

// Milliseconds from the monotonic clock (the "tick count").
uint64_t TickCountMs();

// Sleep for the given number of milliseconds (resumed after signals).
void SleepMs(uint32_t ms);

}  // namespace platform
