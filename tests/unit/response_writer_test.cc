#include "runtime/response_writer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/support/memory_channel.h"

namespace {

TEST(StandardResponse, ExactBytes) {
  // Extra headers go out until the first null name or value. Streamed
  // responses are checked through CProviderCon's copying to a channel.
  const char* names[] = {"X-A", "X-B", "X-C", nullptr};
  const char* values[] = {"1", "2", nullptr, nullptr};
  struct Case {
    const char* status;
    const char* body;
    const char* const* names;
    const char* const* values;
    const char* expected;
  } cases[] = {
      {kStatus200, "abc", nullptr, nullptr, "HTTP/1.1 200 OK\r\nContent-Length:3\r\n\r\nabc"},
      {kStatus200, nullptr, nullptr, nullptr, "HTTP/1.1 200 OK\r\n\r\n"},
      {kStatus404, "", nullptr, nullptr, "HTTP/1.1 404 Not Found\r\nContent-Length:0\r\n\r\n"},
      {kStatus200, "x", names, values, "HTTP/1.1 200 OK\r\nContent-Length:1\r\nX-A:1\r\nX-B:2\r\n\r\nx"},
      {kStatus200, nullptr, names, nullptr, "HTTP/1.1 200 OK\r\n\r\n"},
  };
  for (const Case& c : cases) {
    MemoryChannel io("");
    EXPECT_EQ(0, StandardResponse(&io, c.status, c.body, c.body ? static_cast<uint32_t>(strlen(c.body)) : 0, c.names,
                                  c.values));
    EXPECT_EQ(c.expected, io.Output());
    EXPECT_EQ(io.Output().size(), io.RequestBytesWritten());
  }
  MemoryChannel unavailable("");
  EXPECT_EQ(0, RespondServiceUnavailable(&unavailable));
  EXPECT_EQ("HTTP/1.1 503 Service Unavailable\r\n\r\n", unavailable.Output());
}

TEST(StandardResponse, OversizedHeadIsCutAndWriteFailuresReported) {
  std::string big(5000, 'v');
  const char* names[] = {"X-Big", nullptr};
  const char* values[] = {big.c_str(), nullptr};
  MemoryChannel io("");
  EXPECT_EQ(0, StandardResponse(&io, kStatus200, "b", 1, names, values));
  EXPECT_EQ(4095u + 1u, io.Output().size());  // a head of 4095 bytes, then the body
  EXPECT_EQ('b', io.Output().back());

  MemoryChannel broken("");
  broken.FailWrites();
  EXPECT_EQ(-1, StandardResponse(&broken, kStatus200, "abc", 3, nullptr, nullptr));
  EXPECT_EQ(-1, BeginStreamedResponse(&broken, kStatus200, 3, nullptr, nullptr));
  EXPECT_EQ(-1, ContinueStreamedResponse(&broken, "abc", 3));
  EXPECT_EQ(0, ContinueStreamedResponse(&broken, "abc", 0));
  EXPECT_EQ(0u, broken.TotalBytesWritten());
}

}  // namespace
