#include "xml/xml_node.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "xml/xml_parser.h"

namespace {

struct Parsed {
  std::unique_ptr<XMLNode> doc;
  const char* error = nullptr;
  size_t position = 0;
  int status = 0;
};

Parsed ParseText(std::string_view text, unsigned flags = 0) {
  Parsed p;
  p.status = XMLNode::Parse(text, &p.doc, flags, &p.error, &p.position);
  return p;
}

std::string Compact(XMLNode* node) {
  std::string out;
  node->Serialize(&out, -1, false);
  return out;
}

XMLNode* Child(XMLNode* node, size_t i) { return node->GetChildren().at(i); }

TEST(XMLParse, EntitiesCdataAndMixedTextRoundTrip) {
  Parsed p = ParseText("<a>x &amp;amp; y</a>");
  ASSERT_EQ(p.status, 0);
  XMLNode* a = Child(p.doc.get(), 0);
  EXPECT_EQ(a->GetValue(), "x &amp; y");
  EXPECT_EQ(Compact(p.doc.get()), "<a>x &amp;amp; y</a>");

  p = ParseText("<a>x &amp; y</a>");
  EXPECT_EQ(Child(p.doc.get(), 0)->GetValue(), "x & y");

  p = ParseText("<a><![CDATA[1<2]]></a>");
  ASSERT_EQ(p.status, 0);
  a = Child(p.doc.get(), 0);
  EXPECT_TRUE(a->IsCData());
  EXPECT_EQ(a->GetValue(), "1<2");
  EXPECT_EQ(Compact(p.doc.get()), "<a><![CDATA[1<2]]></a>");

  p = ParseText("<a>t<b/>u</a>");
  a = Child(p.doc.get(), 0);
  EXPECT_EQ(a->GetValue(), "tu");
  EXPECT_EQ(Compact(p.doc.get()), "<a><b/>tu</a>");

  // Unknown entities read as the text before them; the escaped text is kept.
  p = ParseText("<a>x&nbsp;y</a>");
  EXPECT_EQ(Child(p.doc.get(), 0)->GetValue(), "x");
  EXPECT_EQ(Compact(p.doc.get()), "<a>x&nbsp;y</a>");
}

TEST(XMLParse, NestingAndCaseInsensitiveEndTags) {
  Parsed p = ParseText("<A></a>");
  ASSERT_EQ(p.status, 0);
  EXPECT_EQ(Child(p.doc.get(), 0)->GetName(), "A");

  p = ParseText("<a><a></a></a>");
  ASSERT_EQ(p.status, 0);
  XMLNode* outer = Child(p.doc.get(), 0);
  ASSERT_EQ(outer->GetChildren().size(), 1u);
  EXPECT_EQ(Child(outer, 0)->GetName(), "a");
  EXPECT_TRUE(Child(outer, 0)->GetChildren().empty());

  p = ParseText("<a><a/></a>");
  ASSERT_EQ(p.status, 0);
  EXPECT_EQ(Compact(p.doc.get()), "<a><a/></a>");

  // Longer names sharing a prefix are not marks of the shorter one; nesting
  // three deep with siblings still pairs each end with its own start.
  p = ParseText("<a><ab></ab><a x='1'><a/><a>t</a></a><abc/></a>");
  ASSERT_EQ(p.status, 0) << p.error;
  EXPECT_EQ(Compact(p.doc.get()), "<a><ab/><a x=\"1\"><a/><a>t</a></a><abc/></a>");
}

TEST(XMLParse, AttributesAndTheirErrors) {
  Parsed p = ParseText("<a x=1 y='2' z = \"3 4\"/>");
  ASSERT_EQ(p.status, 0);
  XMLNode* a = Child(p.doc.get(), 0);
  ASSERT_EQ(a->GetAttributes().size(), 3u);
  EXPECT_EQ(a->GetAttributes()[0]->GetName(), "x");
  EXPECT_EQ(a->GetAttributes()[0]->GetValue(), "1");
  EXPECT_EQ(a->GetAttributes()[1]->GetValue(), "2");
  EXPECT_EQ(a->GetAttributes()[2]->GetValue(), "3 4");
  EXPECT_EQ(Compact(p.doc.get()), "<a x=\"1\" y=\"2\" z=\"3 4\"/>");

  p = ParseText("<r><a x/></r>");
  EXPECT_EQ(p.status, 1);
  EXPECT_STREQ(p.error, "Attibute missing value (no '=')");
  EXPECT_EQ(p.position, 6u);  // the attribute's start
  EXPECT_EQ(p.doc, nullptr);

  p = ParseText("<a x='1/>");
  EXPECT_STREQ(p.error, "Attribute value not terminated");
  EXPECT_EQ(p.position, 3u);

  p = ParseText("<a =1/>");
  EXPECT_STREQ(p.error, "Empty attribute name");
  EXPECT_EQ(p.position, 3u);
}

TEST(XMLParse, ErrorTextsAndPositions) {
  struct Case {
    const char* text;
    const char* error;
    size_t position;
  } cases[] = {
      {"<a>", "End tag not found", 0},
      {"<>", "Empty Name", 0},
      {"x<a/><!-- open", "End of comment not found", 5},
      {"<?xml version='1'", "End of processing instructions not found", 0},
      {"<?" "?>", "Empty Name", 0},
      {"<a><![CDATA[x</a>", "End of CDATA block not found", 3},
      {"<!DOCTYPE x [<!ENTITY y 'z'>", "End of DTD not found", 0},
      {"<a", "End of element tag not found", 0},
      {"<a></a x", "End tag malformed", 0},
      {"<a></a", "End tag not found", 0},
      {"<r>  <b><c></b></r>", "End tag not found", 8},
      {"< />", "Empty Name", 0},
      {"</>", "Empty Name", 0},
  };
  for (const Case& c : cases) {
    Parsed p = ParseText(c.text);
    EXPECT_EQ(p.status, 1) << c.text;
    EXPECT_STREQ(p.error, c.error) << c.text;
    EXPECT_EQ(p.position, c.position) << c.text;
    EXPECT_EQ(p.doc, nullptr);
  }
}

TEST(XMLParse, DeclarationsCommentsAndInstructions) {
  const char* text =
      "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
      "<!DOCTYPE r [<!ELEMENT r EMPTY><!ATTLIST r a CDATA #IMPLIED>]><!-- c --><r/>";
  Parsed p = ParseText(text);
  ASSERT_EQ(p.status, 0) << p.error;
  XMLNode* doc = p.doc.get();
  ASSERT_EQ(doc->GetChildren().size(), 4u);
  EXPECT_EQ(Child(doc, 0)->GetType(), XMLNode::kProcessingInstruction);
  EXPECT_EQ(Child(doc, 0)->GetName(), "xml");
  EXPECT_EQ(Child(doc, 0)->GetAttributes().size(), 2u);
  EXPECT_EQ(Child(doc, 1)->GetType(), XMLNode::kDeclaration);
  EXPECT_EQ(Child(doc, 1)->GetValue(), "<!DOCTYPE r [<!ELEMENT r EMPTY><!ATTLIST r a CDATA #IMPLIED>]>");
  EXPECT_EQ(Child(doc, 2)->GetType(), XMLNode::kComment);
  EXPECT_EQ(Child(doc, 2)->GetValue(), " c ");
  EXPECT_EQ(Child(doc, 3)->GetType(), XMLNode::kElement);
  // The byte order mark is the document's only text, so it is written back.
  EXPECT_EQ(Compact(doc), text);
}

TEST(XMLParse, WhitespaceFlagAndParseNode) {
  Parsed p = ParseText("<a>\n  <b> </b>\n</a>", XMLNode::kDropWhitespaceText);
  ASSERT_EQ(p.status, 0);
  EXPECT_EQ(Compact(p.doc.get()), "<a><b/></a>");
  p = ParseText("<a>\n  <b> </b>\n</a>");
  EXPECT_EQ(Compact(p.doc.get()), "<a><b> </b>\n  \n</a>");

  XMLNode parent(XMLNode::kElement, "p");
  size_t end = 0;
  const char* error = nullptr;
  ASSERT_EQ(XMLNode::ParseNode("<x y='1'/><z/>", &parent, 0, &error, nullptr, &end), 0);
  EXPECT_EQ(end, 10u);
  ASSERT_EQ(parent.GetChildren().size(), 1u);
}

TEST(XMLParse, DepthBound) {
  std::string ok, deep;
  for (int i = 0; i < kMaxXMLDepth; ++i) ok += "<e>";
  for (int i = 0; i < kMaxXMLDepth; ++i) ok += "</e>";
  Parsed p = ParseText(ok);
  EXPECT_EQ(p.status, 0) << p.error;

  // Distinct names (the parser's own recursion) and one name (the end-tag
  // search's recursion) are both refused one level past the bound.
  for (bool sameName : {false, true}) {
    deep.clear();
    const int n = kMaxXMLDepth + 1;
    for (int i = 0; i < n; ++i) deep += sameName ? "<e>" : "<e" + std::to_string(i) + ">";
    for (int i = n - 1; i >= 0; --i) deep += sameName ? "</e>" : "</e" + std::to_string(i) + ">";
    p = ParseText(deep);
    EXPECT_EQ(p.status, 1);
    EXPECT_STREQ(p.error, kXMLErrorTooDeep);
  }
  // Far deeper unbalanced input (100000 starts, one end) fails on the bound
  // inside the end-tag search instead of overflowing the stack.
  std::string opens;
  for (int i = 0; i < 100000; ++i) opens += "<e>";
  p = ParseText(opens + "</e>");
  EXPECT_EQ(p.status, 1);
  EXPECT_STREQ(p.error, kXMLErrorTooDeep);
}

TEST(XMLSerialize, LevelsAndEscaping) {
  Parsed p = ParseText("<a><b x=\"1\"/></a>");
  std::string out;
  p.doc->Serialize(&out, 0, false);
  EXPECT_EQ(out, "<a>\n\t<b x=\"1\"/>\n</a>\n");
  p.doc->Serialize(&out, -1, false);
  EXPECT_EQ(out, "<a><b x=\"1\"/></a>");
  p.doc->Serialize(&out, 1, true);
  EXPECT_EQ(out, "\xEF\xBB\xBF\t<a>\n\t\t<b x=\"1\"/>\n\t</a>\n");

  XMLNode root(XMLNode::kElement, "r");
  XMLNode* attribute = root.GetOrCreateAttribute("v");
  attribute->SetValue("a\tb\"");
  root.SetValue("a\r\nb<");
  root.Serialize(&out, -1, false);
  EXPECT_EQ(out, "<r v=\"a&#x9;b&quot;\">a\nb&lt;</r>");
  // Setting the escaped value makes it authoritative.
  root.SetEscapedValue("&lt;x&gt;");
  EXPECT_EQ(root.GetValue(), "<x>");
  root.Serialize(&out, -1, false);
  EXPECT_EQ(out, "<r v=\"a&#x9;b&quot;\">&lt;x&gt;</r>");
}

TEST(XMLNodeTree, FindCloneDetach) {
  Parsed p = ParseText("<r><x/><x><y k='v' K='w'/></x></r>");
  XMLNode* r = Child(p.doc.get(), 0);
  XMLNode* y = nullptr;
  ASSERT_EQ(r->FindChild(&y, "x", "y"), 0);
  EXPECT_EQ(y->GetParent(), Child(r, 1));
  ASSERT_EQ(r->FindChild(&y, "X", "Y"), 0);  // names ignore case
  EXPECT_EQ(r->FindChild(&y, "x", "z"), 1);
  EXPECT_EQ(y, nullptr);
  ASSERT_EQ(p.doc->FindChild(&y, "r", "x", "y"), 0);

  XMLNode* k = nullptr;
  ASSERT_EQ(y->FindAttribute(&k, "K"), 0);
  EXPECT_EQ(k->GetValue(), "v");  // the first of that name
  EXPECT_EQ(y->GetOrCreateAttribute("k"), k);
  XMLNode* fresh = y->GetOrCreateAttribute("new");
  EXPECT_EQ(fresh->GetValue(), "");
  EXPECT_EQ(y->GetAttributes().size(), 3u);

  std::unique_ptr<XMLNode> copy = r->Clone();
  EXPECT_EQ(Compact(copy.get()), Compact(r));
  EXPECT_EQ(copy->GetParent(), nullptr);
  XMLNode* second = Child(r, 1);
  ASSERT_EQ(second->Detach(), 0);
  EXPECT_EQ(second->Detach(), 1);  // no parent any more, not a document
  EXPECT_EQ(r->GetChildren().size(), 1u);
  EXPECT_EQ(r->PrependChild(std::unique_ptr<XMLNode>(second)), second);  // detached: ours to hand on
  EXPECT_EQ(Child(r, 0), second);
  Child(r, 1)->RemoveAndDelete();
  EXPECT_EQ(Compact(r), "<r><x><y k=\"v\" K=\"w\" new=\"\"/></x></r>");
  EXPECT_EQ(p.doc->Detach(), 0);
}

TEST(XMLNodeFiles, CreateLoadSave) {
  std::unique_ptr<XMLNode> doc;
  XMLNode* root = nullptr;
  ASSERT_EQ(XMLNode::CreateDocument("stats", true, &doc, &root), 0);
  EXPECT_EQ(root->GetName(), "stats");
  root->GetOrCreateAttribute("n")->SetValue("1");

  auto dir = std::filesystem::temp_directory_path() / ("xml_node_test." + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
  std::filesystem::create_directories(dir);
  std::string path = (dir / "doc.xml").string();
  const char* error = nullptr;
  ASSERT_EQ(doc->SaveFile(path, -1, false, &error), 0);
  std::ifstream in(path, std::ios::binary);
  std::string written((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(written,
            "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?><stats n=\"1\"/>");

  std::unique_ptr<XMLNode> loaded;
  ASSERT_EQ(XMLNode::LoadFile(path, &loaded, 0, &error), 0);
  EXPECT_EQ(Compact(loaded.get()), written);

  EXPECT_EQ(XMLNode::LoadFile((dir / "missing.xml").string(), &loaded, 0, &error), 1);
  EXPECT_EQ(loaded, nullptr);
  EXPECT_STREQ(error, "No such file or directory");
  EXPECT_EQ(doc->SaveFile((dir / "no" / "dir.xml").string(), 0, false, &error), 1);
  EXPECT_STREQ(error, "No such file or directory");
  std::filesystem::remove_all(dir);
}

}  // namespace

namespace {

TEST(XMLSerialize, CDataHoldingItsOwnTerminatorIsSplit) {
  std::unique_ptr<XMLNode> doc;
  ASSERT_EQ(XMLNode::Parse("<a><![CDATA[x]]>]]&gt;y</a>", &doc, 0, nullptr, nullptr), 0);
  EXPECT_EQ(doc->GetChildren()[0]->GetValue(), "x]]>y");
  std::string out;
  doc->Serialize(&out, -1, false);
  EXPECT_EQ(out, "<a><![CDATA[x]]]]><![CDATA[>y]]></a>");
  std::unique_ptr<XMLNode> again;
  ASSERT_EQ(XMLNode::Parse(out, &again, 0, nullptr, nullptr), 0);
  EXPECT_EQ(again->GetChildren()[0]->GetValue(), "x]]>y");
}

}  // namespace
