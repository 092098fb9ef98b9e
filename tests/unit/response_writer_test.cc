#include "runtime/response_writer.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/memory_channel.h"

namespace {

TEST(StandardResponse, ExactBytes) {
  MemoryChannel io("");
  EXPECT_EQ(0, StandardResponse(&io, kStatus200, "abc", 3, nullptr, nullptr));
  EXPECT_EQ("HTTP/1.1 200 OK\r\nContent-Length:3\r\n\r\nabc", io.Output());
  EXPECT_EQ(io.Output().size(), io.RequestBytesWritten());

  MemoryChannel none("");
  EXPECT_EQ(0, StandardResponse(&none, kStatus200, nullptr, 0, nullptr, nullptr));
  EXPECT_EQ("HTTP/1.1 200 OK\r\n\r\n", none.Output());

  MemoryChannel empty("");
  EXPECT_EQ(0, StandardResponse(&empty, kStatus404, "", 0, nullptr, nullptr));
  EXPECT_EQ("HTTP/1.1 404 Not Found\r\nContent-Length:0\r\n\r\n", empty.Output());

  MemoryChannel unavailable("");
  EXPECT_EQ(0, RespondServiceUnavailable(&unavailable));
  EXPECT_EQ("HTTP/1.1 503 Service Unavailable\r\n\r\n", unavailable.Output());
}

TEST(StandardResponse, ExtraHeadersUntilTheFirstNull) {
  const char* names[] = {"X-A", "X-B", "X-C", nullptr};
  const char* values[] = {"1", "2", nullptr, nullptr};
  MemoryChannel io("");
  EXPECT_EQ(0, StandardResponse(&io, kStatus200, "x", 1, names, values));
  EXPECT_EQ("HTTP/1.1 200 OK\r\nContent-Length:1\r\nX-A:1\r\nX-B:2\r\n\r\nx", io.Output());
  MemoryChannel half("");
  EXPECT_EQ(0, StandardResponse(&half, kStatus200, nullptr, 0, names, nullptr));
  EXPECT_EQ("HTTP/1.1 200 OK\r\n\r\n", half.Output());
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

TEST(StreamedResponse, HeadThenPieces) {
  MemoryChannel io("");
  EXPECT_EQ(0, BeginStreamedResponse(&io, kStatus200, 6, nullptr, nullptr));
  EXPECT_EQ(0, ContinueStreamedResponse(&io, "abc", 3));
  EXPECT_EQ(0, ContinueStreamedResponse(&io, "def", 3));
  EXPECT_EQ("HTTP/1.1 200 OK\r\nContent-Length:6\r\n\r\nabcdef", io.Output());

  MemoryChannel unknown("");
  EXPECT_EQ(0, BeginStreamedResponse(&unknown, kStatus500, 0, nullptr, nullptr));
  EXPECT_EQ("HTTP/1.1 500 Internal Server Error\r\n\r\n", unknown.Output());
}

}  // namespace
