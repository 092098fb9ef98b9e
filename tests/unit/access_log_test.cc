#include "runtime/access_log.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "runtime/request_reader.h"
#include "runtime/response_writer.h"
#include "tests/support/memory_channel.h"

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
  // A short buffer is cut, never overrun.
  setenv("TZ", "UTC0", 1);
  char small[8];
  CommonLogDate(small, sizeof small, kMoment);
  EXPECT_STREQ("[05/Mar", small);
  // 0 means now: the year at least is plausible.
  std::string now = DateIn("UTC0", 0);
  EXPECT_EQ(27u, now.size());
  unsetenv("TZ");
}

TEST(AccessLogLine, PeerDateRequestStatusBytesNumber) {
  setenv("TZ", "UTC0", 1);
  MemoryChannel io("GET /a%20b?x=1\n\nGET /second\n\n");
  URLParse r;
  ASSERT_EQ(kRequestRead, ReadRequest(&r, &io));
  StandardResponse(&io, kStatus200, "abc", 3, nullptr, nullptr);
  EXPECT_EQ("memory - - [05/Mar/2024:14:02:07 0000] \"GET /a b\" 200 40 [request#1]\n",
            AccessLogLine(&io, r, 200, kMoment));
  ASSERT_EQ(kRequestRead, ReadRequest(&r, &io));
  StandardResponse(&io, kStatus404, nullptr, 0, nullptr, nullptr);
  EXPECT_EQ("memory - - [05/Mar/2024:14:02:07 0000] \"GET /second\" 404 26 [request#2]\n",
            AccessLogLine(&io, r, 404, kMoment));
  unsetenv("TZ");
}

}  // namespace
