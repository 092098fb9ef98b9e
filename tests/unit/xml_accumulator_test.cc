#include "xml/xml_accumulator.h"

#include <gtest/gtest.h>

namespace {

TEST(XMLAccumulator, BuildsNestedReplies) {
  XMLAccumulator acc;
  EXPECT_EQ(acc.Document()->GetName(), "invisible");
  XMLAttributeMap attrs{{"z", "last"}, {"a", "first & <"}};
  ASSERT_TRUE(acc.OpenElement("status", {}, &attrs));
  EXPECT_TRUE(acc.AddAttribute("n", -3) && acc.AddAttribute("u", 4u) && acc.AddElement("text", "a<b") &&
              acc.AddElement("signed", -7) && acc.AddElement("ulong", 4000000000ul) &&
              acc.AddElement("u64", 18446744073709551615ull));
  EXPECT_TRUE(acc.AddXML("<?xml version='1.0'?><extra k='1'><in/></extra><ignored/>"));
  EXPECT_FALSE(acc.AddXML("<broken>"));
  EXPECT_TRUE(acc.CloseElement());
  EXPECT_TRUE(acc.AddElement("after"));
  std::string out;
  acc.GetXML(&out, -1);
  // AddXML copies the first top-level node: here the declaration.
  EXPECT_EQ(out,
            "<status a=\"first &amp; &lt;\" z=\"last\" n=\"-3\" u=\"4\"><text>a&lt;b</text><signed>-7</signed>"
            "<ulong>4000000000</ulong><u64>18446744073709551615</u64><?xml version=\"1.0\"?></status><after/>");
  acc.GetXML(&out, 0);
  EXPECT_EQ(out.substr(0, 9), "<status a");
  EXPECT_EQ(out.back(), '\n');
}

TEST(XMLAccumulator, NothingCurrentAfterClosingTheDocument) {
  XMLAccumulator acc;
  EXPECT_TRUE(acc.AddXML("<only a='1'/>"));
  EXPECT_TRUE(acc.CloseElement());  // closes the document node itself
  EXPECT_EQ(acc.Current(), nullptr);
  EXPECT_FALSE(acc.AddElement("x") || acc.OpenElement("x") || acc.AddAttribute("a", "b") || acc.CloseElement() ||
               acc.AddXML("<x/>"));
  std::string out;
  acc.GetXML(&out, -1);
  EXPECT_EQ(out, "<only a=\"1\"/>");
}

}  // namespace
