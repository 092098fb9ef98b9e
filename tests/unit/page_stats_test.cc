#include "pages/page_stats.h"

#include <gtest/gtest.h>

#include "tests/support/log_to_temp_dir.h"
#include "xml/xml_accumulator.h"

namespace {

LogToTempDir* const g_env = AddLogToTempDir("page_stats_test.");

// Sums, counts and rounded-down averages per path and kind, through the file
// that fresh tables read and write.
TEST(PageStats, RequestsAddUpPerPathAndKind) {
  PageStats stats;
  stats.SetFile(g_env->Dir() + "/prog");
  stats.RecordRequest("/a", false, 10);
  stats.RecordRequest("/a", false, 30);
  PageStats(stats.File()).RecordRequest("/b/x", true, 3);
  stats.RecordRequest("/b/x", true, 4);
  EXPECT_EQ(stats.Entries().size(), 2u);

  XMLAccumulator xml;
  PageStats(stats.File()).WriteXML(&xml);
  std::string out;
  xml.GetXML(&out, -1);
  EXPECT_EQ(out,
            "<page name=\"/a\"><get><count>2</count><sum>40</sum><avg>20</avg></get>"
            "<post><count>0</count><sum>0</sum><avg>0</avg></post></page>"
            "<page name=\"/b/x\"><get><count>0</count><sum>0</sum><avg>0</avg></get>"
            "<post><count>2</count><sum>7</sum><avg>3</avg></post></page>");
}

}  // namespace
