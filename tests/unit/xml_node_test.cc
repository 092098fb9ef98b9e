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

TEST(XMLParse, ValuesAndCompactForms) {
  struct Case {
    const char* text;
    const char* value;    // of the first element
    const char* written;  // the document written back compact
    unsigned flags = 0;
  } cases[] = {
      {"<a>x &amp;amp; y</a>", "x &amp; y", "<a>x &amp;amp; y</a>"},
      {"<a>x &amp; y</a>", "x & y", "<a>x &amp; y</a>"},
      {"<a><![CDATA[1<2]]></a>", "1<2", "<a><![CDATA[1<2]]></a>"},
      {"<a>t<b/>u</a>", "tu", "<a><b/>tu</a>"},
      // Unknown entities read as the text before them; the escaped text is kept.
      {"<a>x&nbsp;y</a>", "x", "<a>x&nbsp;y</a>"},
      // A CDATA section holding its own terminator is written split.
      {"<a><![CDATA[x]]>]]&gt;y</a>", "x]]>y", "<a><![CDATA[x]]]]><![CDATA[>y]]></a>"},
      {"<A></a>", "", "<A/>"},  // end tags ignore case
      {"<a><a></a></a>", "", "<a><a/></a>"},
      // Longer names sharing a prefix are not marks of the shorter one;
      // nesting with siblings still pairs each end with its own start.
      {"<a><ab></ab><a x='1'><a/><a>t</a></a><abc/></a>", "", "<a><ab/><a x=\"1\"><a/><a>t</a></a><abc/></a>"},
      {"<a x=1 y='2' z = \"3 4\"/>", "", "<a x=\"1\" y=\"2\" z=\"3 4\"/>"},
      {"<a>\n  <b> </b>\n</a>", "\n  \n", "<a><b> </b>\n  \n</a>"},
      {"<a>\n  <b> </b>\n</a>", "", "<a><b/></a>", XMLNode::kDropWhitespaceText},
  };
  for (const Case& c : cases) {
    Parsed p = ParseText(c.text, c.flags);
    ASSERT_EQ(p.status, 0) << c.text << ": " << p.error;
    EXPECT_EQ(Child(p.doc.get(), 0)->GetValue(), c.value) << c.text;
    std::string written = Compact(p.doc.get());
    EXPECT_EQ(written, c.written);
    Parsed again = ParseText(written, c.flags);
    ASSERT_EQ(again.status, 0) << written;
    EXPECT_EQ(Child(again.doc.get(), 0)->GetValue(), c.value) << written;
  }
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
      {"<r><a x/></r>", "Attibute missing value (no '=')", 6},  // the attribute's start
      {"<a x='1/>", "Attribute value not terminated", 3},
      {"<a =1/>", "Empty attribute name", 3},
  };
  for (const Case& c : cases) {
    Parsed p = ParseText(c.text);
    EXPECT_EQ(p.status, 1) << c.text;
    EXPECT_STREQ(p.error, c.error) << c.text;
    EXPECT_EQ(p.position, c.position) << c.text;
    EXPECT_EQ(p.doc, nullptr);
  }
}

TEST(XMLParse, DeclarationsCommentsInstructionsAndParseNode) {
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

  XMLNode parent(XMLNode::kElement, "p");
  size_t end = 0;
  const char* error = nullptr;
  ASSERT_EQ(XMLNode::ParseNode("<x y='1'/><z/>", &parent, 0, &error, nullptr, &end), 0);
  EXPECT_EQ(end, 10u);
  EXPECT_EQ(parent.GetChildren().size(), 1u);
}

TEST(XMLParse, DepthBound) {
  // Distinct names (the parser's own recursion) and one name (the end-tag
  // search's recursion) are both refused one level past the bound.
  for (bool sameName : {false, true}) {
    for (int n : {kMaxXMLDepth, kMaxXMLDepth + 1}) {
      std::string text;
      for (int i = 0; i < n; ++i) text += sameName ? "<e>" : "<e" + std::to_string(i) + ">";
      for (int i = n - 1; i >= 0; --i) text += sameName ? "</e>" : "</e" + std::to_string(i) + ">";
      Parsed p = ParseText(text);
      EXPECT_EQ(p.status, n > kMaxXMLDepth ? 1 : 0) << n;
      EXPECT_STREQ(p.error, n > kMaxXMLDepth ? kXMLErrorTooDeep : nullptr);
    }
  }
  // Far deeper unbalanced input (100000 starts, one end) fails on the bound
  // inside the end-tag search instead of overflowing the stack.
  std::string opens;
  for (int i = 0; i < 100000; ++i) opens += "<e>";
  Parsed p = ParseText(opens + "</e>");
  EXPECT_EQ(p.status, 1);
  EXPECT_STREQ(p.error, kXMLErrorTooDeep);
}

TEST(XMLSerialize, LevelsAndEscaping) {
  Parsed p = ParseText("<a><b x=\"1\"/></a>");
  std::string out;
  p.doc->Serialize(&out, 0, false);
  EXPECT_EQ(out, "<a>\n\t<b x=\"1\"/>\n</a>\n");
  p.doc->Serialize(&out, 1, true);
  EXPECT_EQ(out, "\xEF\xBB\xBF\t<a>\n\t\t<b x=\"1\"/>\n\t</a>\n");

  XMLNode root(XMLNode::kElement, "r");
  root.GetOrCreateAttribute("v")->SetValue("a\tb\"");
  root.SetValue("a\r\nb<");
  EXPECT_EQ(Compact(&root), "<r v=\"a&#x9;b&quot;\">a\nb&lt;</r>");
  // Setting the escaped value makes it authoritative.
  root.SetEscapedValue("&lt;x&gt;");
  EXPECT_EQ(root.GetValue(), "<x>");
  EXPECT_EQ(Compact(&root), "<r v=\"a&#x9;b&quot;\">&lt;x&gt;</r>");
}

TEST(XMLNodeTree, FindCloneDetach) {
  Parsed p = ParseText("<r><x/><x><y k='v' K='w'/></x></r>");
  XMLNode* r = Child(p.doc.get(), 0);
  XMLNode* y = nullptr;
  ASSERT_EQ(r->FindChild(&y, "X", "Y"), 0);  // names ignore case
  EXPECT_EQ(y->GetParent(), Child(r, 1));
  EXPECT_EQ(r->FindChild(&y, "x", "z"), 1);
  EXPECT_EQ(y, nullptr);
  ASSERT_EQ(p.doc->FindChild(&y, "r", "x", "y"), 0);

  XMLNode* k = nullptr;
  ASSERT_EQ(y->FindAttribute(&k, "K"), 0);
  EXPECT_EQ(k->GetValue(), "v");  // the first of that name
  EXPECT_EQ(y->GetOrCreateAttribute("k"), k);
  EXPECT_EQ(y->GetOrCreateAttribute("new")->GetValue(), "");
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
  root->GetOrCreateAttribute("n")->SetValue("1");

  auto dir = std::filesystem::temp_directory_path() /
             ("xml_node_test." + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
  std::filesystem::create_directories(dir);
  std::string path = (dir / "doc.xml").string();
  const char* error = nullptr;
  ASSERT_EQ(doc->SaveFile(path, -1, false, &error), 0);
  std::ifstream in(path, std::ios::binary);
  std::string written((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(written, "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?><stats n=\"1\"/>");

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
