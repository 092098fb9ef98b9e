// The STARTED file: first-start checks, removal and truncation.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "collector/started_file.h"
#include "tests/support/log_to_temp_dir.h"

namespace {

LogToTempDir* logDir = AddLogToTempDir("velmora-started-");

class StartedFile : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(chdir(logDir->TestDir().c_str()), 0); }
  static std::string Contents() { return ReadFile("started.col"); }
};

TEST_F(StartedFile, FirstCheckRecordsSecondFindsDontRecordLeavesAlone) {
  ASSERT_FALSE(std::filesystem::exists("started.col"));
  EXPECT_TRUE(CheckFirstStart("demo_provider", false));
  EXPECT_EQ(Contents(), "demo_provider\n");
  EXPECT_FALSE(CheckFirstStart("demo_provider", false));
  EXPECT_TRUE(CheckFirstStart("ticker_provider", true));
  EXPECT_TRUE(CheckFirstStart("ticker_provider", true));
  EXPECT_EQ(Contents(), "demo_provider\n");
  EXPECT_TRUE(logDir->Logged("FOUND demo_provider\n"));
}

TEST_F(StartedFile, CaseTrailingBlanksRemovalAndTruncation) {
  WriteFile("started.col", "Demo\nbatch  \t\r\nticker\r\nlast");
  EXPECT_TRUE(CheckFirstStart("demo", true));  // lookup counts case
  EXPECT_FALSE(CheckFirstStart("batch", false));
  EXPECT_FALSE(CheckFirstStart("ticker", false));
  EXPECT_TRUE(CheckFirstStart("new", false));  // after a last line without newline
  EXPECT_EQ(Contents(), "Demo\nbatch  \t\r\nticker\r\nlast\nnew\n");
  RemoveFirstStart("demo");  // removal ignores case and rewrites stripped lines
  EXPECT_EQ(Contents(), "batch\nticker\nlast\nnew\n");
  RemoveFirstStart("absent");
  EXPECT_EQ(Contents(), "batch\nticker\nlast\nnew\n");
  TruncateStartedFile();
  EXPECT_EQ(Contents(), "");
  std::filesystem::remove("started.col");
  TruncateStartedFile();  // creates a missing file
  EXPECT_TRUE(std::filesystem::exists("started.col"));
}

}  // namespace
