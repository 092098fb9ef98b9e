// The log: mask test, line prefix, rollover. The log opens once per process,
// so the file-based cases run in one test, in order.
#include "runtime/log.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/log_to_temp_dir.h"

namespace {

TEST(TimeOfDay, FormatsCounterTicks) {
  char buf[32], wide[32];
  const int64_t f = 1000000;
  FormatTimeOfDay((13 * 3600 + 5 * 60 + 7) * f + 250000, f, buf, sizeof buf);
  FormatTimeOfDay((25 * 3600 + 0 * 60 + 59) * f, f, wide, sizeof wide);
  EXPECT_EQ(std::string(buf) + " " + wide, "13:05:7.250000 25:00:59.000000");  // hours not wrapped at 24
  // A short buffer gets nothing; a zero frequency leaves it empty.
  char small[15] = "untouched";
  FormatTimeOfDay(f, f, small, sizeof small);
  EXPECT_STREQ(small, "untouched");
  FormatTimeOfDay(f, 0, buf, sizeof buf);
  EXPECT_STREQ(buf, "");
}

TEST(Log, MaskPrefixAndRollover) {
  char dir[] = "/tmp/velmora-logtest-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string path = std::string(dir) + "/t.log";

  SetVerbosityMask(0xFFFFFFFF);
  Log(1, "before open\n");  // dropped: the log is not open yet
  LogOpen(path.c_str(), 1024);
  LogOpen("/nonexistent/other.log", 0);  // a second open does nothing

  SetVerbosityMask(0);
  Log(1, "masked out\n");
  SetVerbosityMask(3);
  Log(1, "bit one\n");
  Log(2, "bit two\n");
  Log(4, "bit four\n");
  Log(128, "bit 128\n");
  std::string text = ReadFile(path);
  for (const char* dropped : {"before open", "masked out", "bit four", "bit 128"})
    EXPECT_EQ(text.find(dropped), std::string::npos) << dropped;
  // "2012-11-07 13:05:7.250000(1234) :message"
  std::regex line(R"(\d{4}-\d{2}-\d{2} \d{2,}:\d{2}:\d{1,2}\.\d{6}\(\d+\) :bit one\n)");
  EXPECT_TRUE(std::regex_search(text, line)) << text;
  EXPECT_NE(text.find("bit two\n"), std::string::npos);

  // Fill past 1024 bytes: the crossing line is still written to the file,
  // then the file becomes t.log.old and the next line starts a new file.
  std::ofstream(path + ".old") << "stale";
  const std::string filler(100, 'x');
  size_t size = text.size();
  int i = 0;
  while (size <= 1024) {
    Log(1, "%03d %s\n", i++, filler.c_str());
    std::string now = ReadFile(path);
    if (now.size() < size) break;  // rolled over
    size = now.size();
  }
  std::string old = ReadFile(path + ".old");
  EXPECT_GT(old.size(), 1024u);
  char last[32];
  snprintf(last, sizeof last, "%03d x", i - 1);
  EXPECT_NE(old.find(last), std::string::npos) << "the crossing line belongs to the old file";
  EXPECT_EQ(old.find("stale"), std::string::npos);
  EXPECT_EQ(ReadFile(path), "");
  Log(1, "fresh\n");
  EXPECT_NE(ReadFile(path).find("fresh"), std::string::npos);

  // Threads logging at once never interleave inside a line, also across
  // the rollovers that the small limit makes frequent.
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([t] {
      for (int n = 0; n < 200; ++n) Log(2, "thread %d line %d %s\n", t, n, "payload-payload-payload");
    });
  for (auto& t : threads) t.join();
  std::regex whole(R"((\d{4}-\d{2}-\d{2} [\d:.]+\(\d+\) :(fresh|thread \d line \d+ payload-payload-payload)\n)*)");
  EXPECT_TRUE(std::regex_match(ReadFile(path), whole));
  EXPECT_TRUE(std::regex_match(ReadFile(path + ".old"), whole));

  std::remove((path + ".old").c_str());
  std::remove(path.c_str());
  rmdir(dir);
}

}  // namespace
