#include "xml/table_writer.h"

#include <gtest/gtest.h>

#include "platform/file_time.h"

namespace {

TEST(TableWriter, LiteralsStatesAndEscaping) {
  TableWriter t;
  t.BeginTable("monitorexport");
  EXPECT_EQ(t.GetState(), TableWriter::kInTable);
  t.BeginRow();
  t.Cell("a<b\t\"c\""), t.Cell(7u), t.Cell(-2), t.Cell(3000000000ul), t.Cell(-5l), t.Cell(1.5);
  t.Cell(18446744073709551615ull);
  t.EndRow();
  t.BeginRow();
  t.OpenCell();
  EXPECT_EQ(t.GetState(), TableWriter::kInCellTag);
  t.CellAttribute("k&", "v\"");
  t.CloseCell();
  t.OpenCell();
  t.CellAttribute("x", "1");
  t.CellText("t&");
  EXPECT_EQ(t.GetState(), TableWriter::kInCellText);
  t.CellText("u");
  t.CloseCell();
  EXPECT_EQ(t.GetState(), TableWriter::kInRow);
  t.EndRow();
  t.EndTable();
  EXPECT_EQ(t.GetState(), TableWriter::kIdle);
  const char* expected =
      "<table type=\"monitorexport\" >\n"
      "\t<tr><td>a&lt;b&#x9;&quot;c&quot;</td><td>7</td><td>-2</td><td>3000000000</td><td>-5</td>"
      "<td>1.500000</td><td>18446744073709551615</td></tr>\n"
      "\t<tr>\t<td  k&amp;=\"v&quot;\" />\n\t<td  x=\"1\">t&amp;u</td>\n</tr>\n"
      "</table>\n";
  EXPECT_EQ(t.Text(), expected);
  EXPECT_EQ(t.Length(), strlen(expected));

  t.BeginTable("schedule", XMLAttributeMap{{"b", "2"}, {"a", "1"}});
  EXPECT_EQ(t.Text(), "<table type=\"schedule\" a=\"1\" b=\"2\" >\n");
}

TEST(TableWriter, DateFromFileTime) {
  TableWriter t;
  // 2024-02-29 13:05:09.5 UTC.
  uint64_t ft = platform::FileTimeFromUnix(1709211909, 500000000);
  EXPECT_EQ(ft, 133536855095000000ull);
  t.CellDate(ft);
  EXPECT_EQ(t.Text(), "<td>2024-02-29 13:05:09</td>");
  platform::CalendarTime c = platform::CalendarFromFileTime(0);
  EXPECT_EQ(c.year * 10000 + c.month * 100 + c.day, 16010101);
  EXPECT_GT(platform::FileTimeNow(), ft);
}

}  // namespace
