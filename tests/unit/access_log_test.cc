// The date of the access-log line. The whole line (peer, request, status,
// bytes, request number) is checked by test_server.py over loopback and on
// standard input.
#include "runtime/access_log.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

// 2024-03-05 14:02:07 UTC
constexpr int64_t kMoment = 1709647327;

std::string DateIn(const char* zone, int64_t when) {
  setenv("TZ", zone, 1);
  char buffer[64];
  CommonLogDate(buffer, sizeof buffer, when);
  return buffer;
}

TEST(CommonLogDate, SignRulesOfTheStandardBias) {
  EXPECT_EQ("[05/Mar/2024:15:02:07 0100]", DateIn("UTC-1", kMoment));
  EXPECT_EQ("[05/Mar/2024:09:02:07 -0500]", DateIn("EST5", kMoment));
  EXPECT_EQ("[05/Mar/2024:14:02:07 0000]", DateIn("UTC0", kMoment));
  EXPECT_EQ("[05/Mar/2024:19:32:07 0530]", DateIn("IST-5:30", kMoment));
  // Daylight saving moves the clock but not the printed standard offset.
  EXPECT_EQ("[01/Jul/2024:08:00:00 -0500]", DateIn("EST5EDT,M3.2.0,M11.1.0", 1719835200));
  // A short buffer is cut, never overrun; 0 means now.
  char small[8];
  CommonLogDate(small, sizeof small, kMoment);
  EXPECT_STREQ("[05/Mar", small);
  EXPECT_EQ(27u, DateIn("UTC0", 0).size());
  unsetenv("TZ");
}

}  // namespace
