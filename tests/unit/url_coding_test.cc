// Percent decoding of request paths and query values, and the encoding of
// values sent to the collector.
#include "runtime/url_coding.h"

#include <gtest/gtest.h>

namespace {

TEST(UrlCoding, DecodeAndEncode) {
  EXPECT_EQ(UrlDecode("/a%20b+c"), "/a b c");
  EXPECT_EQ(UrlDecode("%41%6a%zz%4%"), "Aj%zz%4%");  // a "%" without two hex digits stays
  EXPECT_EQ(UrlDecode(std::string_view("a%00b", 5)), std::string("a\0b", 3));

  EXPECT_EQ(UrlEncode("/a b\xff"), "%2Fa%20b%FF");
  EXPECT_EQ(UrlDecode(UrlEncode("any text & more/?")), "any text & more/?");
  // Cut to 1023 characters, never in the middle of an escape.
  EXPECT_EQ(UrlEncode(std::string(2000, 'a')).size(), 1023u);
  EXPECT_EQ(UrlEncode("a" + std::string(400, '/')).size(), 1021u);
}

}  // namespace
