#include "xml/configuration.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

std::string Compact(const Configuration& c) {
  std::string out;
  c.Serialize(&out, false);
  return out;
}

TEST(Configuration, KeysAndSections) {
  Configuration c;
  EXPECT_EQ(c.GetRoot(), nullptr);
  EXPECT_FALSE(c.SetKey(c.GetRoot(), "a", "1"));  // null parent
  c.NewDocument();
  XMLNode* root = c.GetRoot();
  EXPECT_EQ(root->GetName(), "invisibleroot");

  EXPECT_TRUE(c.SetKey(root, "a", "1"));
  EXPECT_TRUE(c.SetKey(root, "a", "2"));
  std::vector<std::string> names;
  c.ListKeyNames(root, &names);
  EXPECT_EQ(names, std::vector<std::string>{"a"});
  std::string text;
  EXPECT_TRUE(c.GetKey(root, "a", &text) && text == "2");
  EXPECT_FALSE(c.GetKey(root, "A", &text));  // key names are exact

  bool created = false, createdToo = false;
  XMLNode* upper = c.GetSection(root, "Stats", true, &created);
  XMLNode* lower = c.GetSection(root, "stats", true, &createdToo);
  EXPECT_TRUE(created && createdToo && upper != lower);
  EXPECT_EQ(c.GetSection(root, "Stats", true, &created), upper);
  EXPECT_FALSE(created);
  EXPECT_EQ(c.GetSection(root, "none", false), nullptr);
  c.ListSectionNames(root, &names);
  EXPECT_EQ(names, (std::vector<std::string>{"Stats", "stats"}));

  EXPECT_TRUE(c.SetKeyNumber(upper, "n", 4000000000ul) && c.SetKey(upper, "word", "twelve") &&
              c.SetKey(upper, "neg", "-12x") && c.SetKey(upper, "quoted", "a\"<&>"));
  unsigned long u = 99, w = 99, missing = 5;
  long s = 99;
  EXPECT_TRUE(c.GetKeyUnsigned(upper, "n", &u) && c.GetKeyUnsigned(upper, "word", &w) &&
              c.GetKeySigned(upper, "neg", &s));
  EXPECT_EQ(std::make_tuple(u, w, s), std::make_tuple(4000000000ul, 0ul, -12l));
  EXPECT_FALSE(c.GetKeyUnsigned(upper, "missing", &missing) || c.GetKeyUnsigned(lower, "n", &missing));
  EXPECT_EQ(missing, 5u);

  EXPECT_EQ(Compact(c),
            "<key name=\"a\" value=\"2\"/><section name=\"Stats\"><key name=\"n\" value=\"4000000000\"/>"
            "<key name=\"word\" value=\"twelve\"/><key name=\"neg\" value=\"-12x\"/>"
            "<key name=\"quoted\" value=\"a&quot;&lt;&amp;&gt;\"/></section><section name=\"stats\"/>");

  // The serialized form reads back to the same keys.
  Configuration back;
  ASSERT_TRUE(back.ParseText(Compact(c)));
  EXPECT_TRUE(back.GetKey(back.FindSection(back.GetRoot(), "Stats"), "quoted", &text) && text == "a\"<&>");

  EXPECT_TRUE(c.RemoveKey(upper, "word") && !c.RemoveKey(upper, "word"));
  EXPECT_TRUE(c.RemoveSection(lower) && !c.RemoveSection(root) && !c.RemoveSection(nullptr));
  c.ListSectionNames(root, &names);
  EXPECT_EQ(names, std::vector<std::string>{"Stats"});
}

TEST(Configuration, NestedSectionsElementNamesAndKeysWithoutValue) {
  Configuration c;
  ASSERT_TRUE(c.ParseText("<SECTION NAME='s'><section name='t'><KEY name='k'/><key name='v' value='1'/></section></SECTION>"));
  XMLNode* t = c.FindSection(c.FindSection(c.GetRoot(), "s"), "t");
  ASSERT_NE(t, nullptr);
  std::string text;
  EXPECT_TRUE(!c.GetKey(t, "k", &text) && c.GetKey(t, "v", &text));  // k has no value attribute
  EXPECT_FALSE(c.ParseText("<broken>"));
  EXPECT_EQ(c.GetRoot(), nullptr);
}

TEST(Configuration, BorrowedDocumentIsReadOnly) {
  Configuration owner;
  owner.NewDocument();
  owner.SetKey(owner.GetRoot(), "a", "1");
  XMLNode* section = owner.CreateSection(owner.GetRoot(), "s");
  {
    Configuration view;
    view.Borrow(owner.GetRoot());
    std::string text;
    EXPECT_TRUE(view.IsBorrowed() && view.GetKey(view.GetRoot(), "a", &text));
    EXPECT_FALSE(view.SetKey(view.GetRoot(), "a", "2") || view.SetKey(view.GetRoot(), "b", "2") ||
                 view.RemoveKey(view.GetRoot(), "a") || view.RemoveSection(section));
    EXPECT_EQ(view.CreateSection(view.GetRoot(), "t"), nullptr);
    EXPECT_EQ(view.GetSection(view.GetRoot(), "t", true), nullptr);
  }  // the view does not free the borrowed document
  EXPECT_EQ(Compact(owner), "<key name=\"a\" value=\"1\"/><section name=\"s\"/>");
}

}  // namespace
