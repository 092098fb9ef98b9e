// The standard-input channels at their edges; test_server.py's
// StandardInput runs requests, bodies and one-shot commands through them.
#include "runtime/io_one_shot.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "runtime/request_reader.h"

namespace {

TEST(IOOneShot, CommandIsOneRequestThenEndOfInput) {
  IOOneShot io("GET /status", nullptr);
  URLParse r;
  ASSERT_EQ(kRequestRead, ReadRequest(&r, &io));
  EXPECT_EQ(std::string(r.Path()) + std::to_string(r.HeaderCount()), "/status0");
  EXPECT_EQ(kRequestEnd, ReadRequest(&r, &io));
  char buffer[8];
  EXPECT_EQ(0, io.Read(buffer, sizeof buffer));  // no input stream
  EXPECT_EQ(0, io.Write("x", 1));                // no output stream: nothing written
  EXPECT_EQ(0u, io.TotalBytesWritten());

  IOOneShot cut("GET /a-long-path", nullptr);
  char small[6];
  EXPECT_EQ(5, cut.ReadLine(small, sizeof small));
  EXPECT_STREQ("GET /", small);
}

TEST(IOStdio, WritesInPiecesOf4096) {
  FILE* out = tmpfile();
  ASSERT_NE(nullptr, out);
  IOStdio io(nullptr, out);
  // The last piece's count comes back.
  std::string big(5000, 'z');
  EXPECT_EQ(5000 - 4096, io.Write(big.data(), big.size()));
  EXPECT_EQ(5000u, io.TotalBytesWritten());
  fflush(out);
  EXPECT_EQ(5000, ftell(out));
  fclose(out);
}

}  // namespace
