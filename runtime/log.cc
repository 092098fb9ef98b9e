#include "runtime/log.h"

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/process_info.h"
#include "platform/timed_mutex.h"

namespace log_internal {
std::atomic<uint32_t> verbosity_mask{kDefaultVerbosityMask};
}

namespace {

constexpr size_t kNameSize = 260;  // up to 259 characters
constexpr auto kMutexWait = std::chrono::milliseconds(5000);

struct LogState {
  std::atomic<bool> opened{false};  // set once LogOpen has finished
  platform::TimedMutex mutex;
  FILE* stream = nullptr;           // guarded by mutex once opened
  char name[kNameSize] = {};        // empty: standard error, no rollover
  int64_t sizeLimit = kDefaultLogSizeLimit;
  int64_t counterAtOpen = 0;
  int64_t baseTicks = 0;            // UTC time of day at opening, in ticks
  std::mutex openMutex;
};

LogState& State() {
  // Never destroyed: threads may still log while static objects go away.
  static LogState* state = new LogState;
  return *state;
}

// Closes the full file, keeps it as NAME.old and starts a new one. Called
// with the mutex held.
void Rollover(LogState& s) {
  fclose(s.stream);
  char oldName[kNameSize + 5];
  snprintf(oldName, sizeof oldName, "%s.old", s.name);
  std::remove(oldName);
  std::rename(s.name, oldName);
  s.stream = platform::OpenAppendStream(s.name);
  if (s.stream == nullptr) {
    s.name[0] = '\0';
    s.stream = stderr;
  }
}

}  // namespace

void LogOpen(const char* fileName, uint32_t sizeLimit) {
  LogState& s = State();
  std::lock_guard<std::mutex> guard(s.openMutex);
  if (s.opened.load()) return;
  s.sizeLimit = sizeLimit == 0 ? kDefaultLogSizeLimit : sizeLimit;
  s.stream = stderr;
  if (fileName != nullptr && fileName[0] != '\0') {
    snprintf(s.name, sizeof s.name, "%s", fileName);
    s.stream = platform::OpenAppendStream(s.name);
    if (s.stream == nullptr) {
      s.stream = stderr;
      s.name[0] = '\0';
    }
  }
  platform::CalendarTime now = platform::UtcNow();
  s.counterAtOpen = platform::MonotonicCounter();
  s.baseTicks = (static_cast<int64_t>(now.hour) * 3600 + now.minute * 60 + now.second) *
                platform::kCounterFrequency;
  s.opened.store(true);
}

bool LogUsesStandardError() {
  LogState& s = State();
  if (!s.opened.load()) return true;
  std::lock_guard<platform::TimedMutex> guard(s.mutex);
  return s.stream == stderr;
}

void FormatTimeOfDay(int64_t ticks, int64_t frequency, char* buffer, size_t size) {
  if (buffer == nullptr || size < 16) return;
  memset(buffer, 0, size);
  if (frequency <= 0) return;
  int64_t seconds = ticks / frequency;
  int64_t hours = seconds / 3600;
  int64_t minutes = (seconds - hours * 3600) / 60;
  int64_t rest = (seconds - hours * 3600 - minutes * 60) % 60;
  double fraction = static_cast<double>(ticks % frequency) / static_cast<double>(frequency);
  snprintf(buffer, size, "%02d:%02d:%02f", static_cast<int>(hours), static_cast<int>(minutes),
           static_cast<double>(rest) + fraction);
  buffer[size - 1] = '\0';
}

void TimeOfDayText(char* buffer, size_t size) {
  if (buffer == nullptr || size < 16) return;
  LogState& s = State();
  if (!s.opened.load()) {
    memset(buffer, 0, size);
    return;
  }
  int64_t ticks = platform::MonotonicCounter() - s.counterAtOpen + s.baseTicks;
  FormatTimeOfDay(ticks, platform::kCounterFrequency, buffer, size);
}

void log_internal::Write(const char* format, ...) {
  LogState& s = State();
  if (!s.opened.load()) return;  // lines before opening are dropped
  platform::CalendarTime now = platform::UtcNow();
  char date[16];
  snprintf(date, sizeof date, "%04d-%02d-%02d", now.year, now.month, now.day);
  char timeText[32];
  TimeOfDayText(timeText, sizeof timeText);
  long tid = platform::ThreadId();

  if (!s.mutex.try_lock_for(kMutexWait)) return;  // the line is lost
  fprintf(s.stream, "%s %s(%ld) %s:", date, timeText, tid, "");
  va_list args;
  va_start(args, format);
  vfprintf(s.stream, format, args);
  va_end(args);
  fflush(s.stream);
  if (s.name[0] != '\0' && static_cast<int64_t>(ftell(s.stream)) > s.sizeLimit) Rollover(s);
  s.mutex.unlock();
}
