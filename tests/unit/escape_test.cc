#include "xml/escape.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

std::string Esc(std::string_view in, unsigned flags) {
  std::string out;
  Escape(&out, in, flags);
  return out;
}

TEST(Escape, AttributeAndTextRules) {
  EXPECT_EQ(Esc("a\tb", 0), "a&#x9;b");
  EXPECT_EQ(Esc("a\tb", kEscapeText), "a\tb");
  EXPECT_EQ(Esc("a\r\nb\nc\rd", 0), "a&#xA;b&#xA;c&#xA;d");
  EXPECT_EQ(Esc("a\r\nb\nc\rd", kEscapeText), "a\nb\nc\nd");
  EXPECT_EQ(Esc("\"&'<>", 0), "&quot;&amp;&apos;&lt;&gt;");
  EXPECT_EQ(Esc("\"&'<>", kEscapeText), "&quot;&amp;&apos;&lt;&gt;");
  EXPECT_EQ(Esc(std::string_view("\x01\x1f\0", 3), kEscapeText), std::string("&#x01;&#x1F;&#x00;"));
  EXPECT_EQ(Esc("\xc3\xa9", 0), "\xc3\xa9");
  EXPECT_EQ(Esc("\xc3\xa9", kEscapeHighBytes), "&#xC3;&#xA9;");
  EXPECT_EQ(EscapedLength("a<\tb", 0), Esc("a<\tb", 0).size());
}

TEST(Unescape, OnePassAndStops) {
  // A reference of 256 or more, one without ";", an unknown entity and a bare
  // "&" end the decoding (1) with the text decoded so far.
  const std::tuple<const char*, int, const char*> cases[] = {
      {"x &amp; y", 0, "x & y"}, {"x &amp;amp; y", 0, "x &amp; y"},
      {"&lt;&gt;&apos;&quot;&#65;&#x42;&#xff;", 0, "<>'\"AB\xff"},
      {"ab&#256;cd", 1, "ab"}, {"ab&#65cd", 1, "ab"}, {"x&nbsp;y", 1, "x"}, {"x & y", 1, "x "}, {"&#x;", 1, ""},
      {"&#99999999999999999999;", 1, ""}};
  for (auto [in, result, text] : cases) {
    std::string out = "old";
    EXPECT_EQ(Unescape(&out, in), result) << in;
    EXPECT_EQ(out, text) << in;
  }
}

TEST(EscapeWide, NamedOnlyAndSixteenBitReferences) {
  std::u16string out;
  EscapeWide(&out, u"a\tb\r\n<\u00e9\u0001", 0);
  EXPECT_EQ(out, u"a&#x9;b&#xA;&lt;\u00e9\u0001");
  EscapeWide(&out, u"a\tb\r\n", kEscapeText);
  EXPECT_EQ(out, u"a\tb\n");
  EXPECT_EQ(UnescapeWide(&out, u"&amp;amp;&apos;&#x263A;&#65;&#x10041;"), 0);  // the last cut to 16 bits
  EXPECT_EQ(out, u"&amp;'\u263A" u"AA");
  EXPECT_EQ(UnescapeWide(&out, u"ok&bogus;"), 1);
  EXPECT_EQ(out, u"ok");
}

}  // namespace
