#include "runtime/url_parse.h"

#include <gtest/gtest.h>

#include <cstring>
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
  EXPECT_EQ(std::string(copy.Verb()) + " " + copy.Path() + "?" + copy.Query(), "POST /p?a=1");
  EXPECT_EQ(URLParse::kVerbPost, copy.VerbCode());
  ASSERT_EQ(2u, copy.HeaderCount());
  EXPECT_EQ(std::string(copy.HeaderNames()[0]) + copy.HeaderValues()[1] + copy.FindHeader("content-LENGTH"),
            "Host1212");
  EXPECT_TRUE(copy.HeaderNames()[2] == nullptr && copy.HeaderValues()[2] == nullptr);

  URLParse assigned;
  assigned = copy;
  copy.Clear();
  EXPECT_STREQ("x", assigned.FindHeader("host"));
  EXPECT_TRUE(copy.FindHeader("host") == nullptr && copy.Query() == nullptr);
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
  EXPECT_TRUE(r.HeaderCount() == 15 && r.HeaderNames()[15] == nullptr);

  URLParse big;
  EXPECT_FALSE(big.ContinueHeader("x", 1));  // nothing to continue
  std::string value(4093, 'v');              // "N\0" + 4093 + "\0" = 4096: not strictly inside
  EXPECT_FALSE(big.AddHeader("N", 1, value.data(), value.size()));
  EXPECT_TRUE(big.AddHeader("N", 1, value.data(), value.size() - 1));
  EXPECT_FALSE(big.ContinueHeader("", 0));
  EXPECT_EQ(1u, big.HeaderCount());
  EXPECT_EQ(4092u, strlen(big.HeaderValues()[0]));
}

}  // namespace
