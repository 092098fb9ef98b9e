#include "runtime/access_log.h"

#include <cstdio>
#include <vector>

#include "platform/time_zone.h"
#include "runtime/log.h"

namespace {
const char* const kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
}  // namespace

void CommonLogDate(char* buffer, size_t size, int64_t unixTime) {
  if (buffer == nullptr || size == 0) return;
  if (unixTime == 0) unixTime = platform::UnixTimeNow();
  platform::CalendarTime t = platform::LocalTimeOf(unixTime);
  // Bias: minutes of UTC minus local time, so positive west of UTC.
  int bias = platform::StandardBiasMinutes();
  const char* sign = "";
  int offset = -bias;
  if (bias > 0) {
    sign = "-";
    offset = bias;
  }
  const char* month = t.month >= 1 && t.month <= 12 ? kMonths[t.month - 1] : "???";
  snprintf(buffer, size, "[%02d/%-3.3s/%04d:%02d:%02d:%02d %s%02d%02d]", t.day, month, t.year, t.hour, t.minute,
           t.second, sign, offset / 60, offset % 60);
}

std::string AccessLogLine(IOBase* io, const URLParse& request, int status, int64_t unixTime) {
  char date[64];
  CommonLogDate(date, sizeof date, unixTime);
  const char* format = "%s - - %s \"%s %s\" %u %lu [request#%lu]\n";
  auto print = [&](char* out, size_t size) {
    return snprintf(out, size, format, io->PeerName(), date, request.Verb(), request.Path(),
                    static_cast<unsigned>(status), static_cast<unsigned long>(io->RequestBytesWritten()),
                    static_cast<unsigned long>(io->RequestNumber()));
  };
  int n = print(nullptr, 0);
  if (n <= 0) return std::string();
  std::vector<char> text(static_cast<size_t>(n) + 1);
  print(text.data(), text.size());
  return std::string(text.data(), static_cast<size_t>(n));
}

void LogAccess(IOBase* io, const URLParse& request, int status) {
  if ((64u & VerbosityMask()) == 0) return;
  std::string line = AccessLogLine(io, request, status, 0);
  Log(64, "%s", line.c_str());
}
