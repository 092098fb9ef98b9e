#include "runtime/io_one_shot.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "runtime/request_reader.h"
#include "runtime/response_writer.h"

namespace {

std::string Contents(FILE* f) {
  fflush(f);
  rewind(f);
  std::string s;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) s.append(buffer, n);
  return s;
}

TEST(IOOneShot, CommandReadsAsARequestThenEndOfInput) {
  FILE* out = tmpfile();
  ASSERT_NE(nullptr, out);
  {
    IOOneShot io("GET /status", out);
    URLParse r;
    ASSERT_EQ(kRequestRead, ReadRequest(&r, &io));
    EXPECT_STREQ("GET", r.Verb());
    EXPECT_STREQ("/status", r.Path());
    EXPECT_EQ(0u, r.HeaderCount());
    EXPECT_STREQ("stdio", io.PeerName());
    EXPECT_EQ(IOBase::kTypeStdio, io.Type());
    EXPECT_EQ(0, StandardResponse(&io, kStatus200, "ok", 2, nullptr, nullptr));
    EXPECT_EQ(kRequestEnd, ReadRequest(&r, &io));
    char buffer[8];
    EXPECT_EQ(0, io.ReadLine(buffer, sizeof buffer));
    EXPECT_EQ(0, io.Read(buffer, sizeof buffer));  // no input stream
  }
  EXPECT_EQ("HTTP/1.1 200 OK\r\nContent-Length:2\r\n\r\nok", Contents(out));
  fclose(out);

  IOOneShot cut("GET /a-long-path", nullptr);
  char small[6];
  EXPECT_EQ(5, cut.ReadLine(small, sizeof small));
  EXPECT_STREQ("GET /", small);
  EXPECT_EQ(1, cut.ReadLine(small, sizeof small));
  EXPECT_STREQ("\n", small);
  EXPECT_EQ(0, cut.Write("x", 1));  // no output stream: nothing written
  EXPECT_EQ(0u, cut.TotalBytesWritten());
}

TEST(IOStdio, StreamsInBothDirections) {
  FILE* in = tmpfile();
  FILE* out = tmpfile();
  ASSERT_TRUE(in && out);
  fputs("GET /one HTTP/1.1\r\nContent-Length: 4\r\n\r\nbodyGET /two\n\n", in);
  rewind(in);
  IOStdio io(in, out);
  URLParse r;
  ASSERT_EQ(kRequestRead, ReadRequest(&r, &io));
  std::string body;
  ASSERT_TRUE(ReadBody(&io, r.HeaderNames(), r.HeaderValues(), &body));
  EXPECT_EQ("body", body);
  ASSERT_EQ(kRequestRead, ReadRequest(&r, &io));
  EXPECT_STREQ("/two", r.Path());
  EXPECT_EQ(2u, io.RequestNumber());
  EXPECT_EQ(kRequestEnd, ReadRequest(&r, &io));

  // 10000 bytes go out in pieces of 4096; the last piece's count comes back.
  std::string big(10000, 'z');
  EXPECT_EQ(10000 - 2 * 4096, io.Write(big.data(), big.size()));
  EXPECT_EQ(10000u, io.TotalBytesWritten());
  EXPECT_EQ(big, Contents(out));
  fclose(in);
  fclose(out);
}

}  // namespace
