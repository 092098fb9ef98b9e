#include "runtime/url_parse.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

TEST(URLParse, CopyPointsIntoItsOwnHeaderText) {
  auto original = std::make_unique<URLParse>();
  original->SetVerb("POST", 4);
  original->SetPath("/p", 2);
  original->SetQuery("a=1", 3);
  ASSERT_TRUE(original->AddHeader("Host", 4, "x", 1));
  ASSERT_TRUE(original->AddHeader("Content-Length", 14, "12", 2));
  URLParse copy(*original);
  original.reset();  // the copy must not point into freed memory (ASan)
  EXPECT_STREQ("POST", copy.Verb());
  EXPECT_EQ(URLParse::kVerbPost, copy.VerbCode());
  EXPECT_STREQ("a=1", copy.Query());
  ASSERT_EQ(2u, copy.HeaderCount());
  EXPECT_STREQ("Host", copy.HeaderNames()[0]);
  EXPECT_STREQ("12", copy.HeaderValues()[1]);
  EXPECT_EQ(nullptr, copy.HeaderNames()[2]);
  EXPECT_EQ(nullptr, copy.HeaderValues()[2]);
  EXPECT_STREQ("12", copy.FindHeader("content-LENGTH"));

  URLParse assigned;
  assigned = copy;
  copy.Clear();
  EXPECT_STREQ("x", assigned.FindHeader("host"));
  EXPECT_EQ(nullptr, copy.FindHeader("host"));
  EXPECT_EQ(nullptr, copy.Query());
}

TEST(URLParse, VerbCodesIgnoreCase) {
  URLParse r;
  for (auto [verb, code] : {std::pair<std::string, int>{"get", URLParse::kVerbGet}, {"PoSt", URLParse::kVerbPost},
                            {"PUT", URLParse::kVerbOther}}) {
    r.SetVerb(verb.data(), verb.size());
    EXPECT_EQ(code, r.VerbCode()) << verb;
  }
}

TEST(URLParse, HeaderLimits) {
  URLParse r;
  for (int i = 0; i < 15; ++i) ASSERT_TRUE(r.AddHeader("N", 1, "v", 1)) << i;
  EXPECT_FALSE(r.AddHeader("N", 1, "v", 1));
  EXPECT_EQ(15u, r.HeaderCount());
  EXPECT_EQ(nullptr, r.HeaderNames()[15]);

  URLParse big;
  EXPECT_FALSE(big.ContinueHeader("x", 1));  // nothing to continue
  std::string value(4093, 'v');              // "N\0" + 4093 + "\0" = 4096: not strictly inside
  EXPECT_FALSE(big.AddHeader("N", 1, value.data(), value.size()));
  EXPECT_TRUE(big.AddHeader("N", 1, value.data(), value.size() - 1));
  EXPECT_FALSE(big.ContinueHeader("", 0));
  EXPECT_EQ(1u, big.HeaderCount());
  EXPECT_EQ(4092u, std::string(big.HeaderValues()[0]).size());
}

}  // namespace
