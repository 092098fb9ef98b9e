// The process-wide log.
//
// Every message carries one level bit and is written only when that bit is
// set in the verbosity mask; the mask test is done inline before anything
// else, so a message that is filtered out costs one load and one AND. Lines
// go to the named log file or, without one, to standard error. A named file
// is rolled over to a single NAME.old copy when its position passes the size
// limit. Lines logged before LogOpen are dropped.
//
// Level bits: 1 severe, 2 heartbeat and recovery outcomes, 4 routing and
// provider-map decisions, 8 details, 16 errors, 32 warnings, 64 flow,
// 128 information, 256 heartbeat registration and cookie maintenance,
// 512 timers, 1024 wire detail, 2048 scheduler, 4096 heartbeat monitor,
// 8192 first-start bookkeeping.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>

namespace log_internal {
extern std::atomic<uint32_t> verbosity_mask;
void Write(const char* format, ...) __attribute__((format(printf, 1, 2)));
}  // namespace log_internal

constexpr uint32_t kDefaultVerbosityMask = 3;
constexpr uint32_t kDefaultLogSizeLimit = 100000;

inline uint32_t VerbosityMask() { return log_internal::verbosity_mask.load(std::memory_order_relaxed); }
inline void SetVerbosityMask(uint32_t mask) { log_internal::verbosity_mask.store(mask, std::memory_order_relaxed); }

// Writes one line (the caller supplies the newline) when `level` is in the mask.
#define Log(level, ...)                                                       \
  do {                                                                        \
    if ((static_cast<uint32_t>(level) & VerbosityMask()) != 0)                \
      log_internal::Write(__VA_ARGS__);                                       \
  } while (0)

// Opens the log once: `fileName` null or empty means standard error; a file
// that cannot be opened also falls back to standard error. `sizeLimit` 0
// means kDefaultLogSizeLimit. A second call does nothing.
void LogOpen(const char* fileName, uint32_t sizeLimit);

// True when lines go to standard error (no file, or it could not be opened).
bool LogUsesStandardError();

// The time-of-day column: the UTC time of day at which the log was opened
// plus the time elapsed since on the monotonic counter, "%02d:%02d:%02f"
// (hours not wrapped at 24, seconds without a leading zero). Buffers shorter
// than 16 bytes get nothing.
void TimeOfDayText(char* buffer, size_t size);

// The pure part of TimeOfDayText: formats `ticks` counter ticks at
// `frequency` ticks per second.
void FormatTimeOfDay(int64_t ticks, int64_t frequency, char* buffer, size_t size);
