// Pins the parser's results: for every fuzz corpus input and a fixed,
// seed-driven set of generated documents, the whole result of Parse and of
// ParseNode (tree, or error text and position) hashes to the value recorded
// in tests/golden/xml_parse.txt. VELMORA_XML_GOLDEN_WRITE=<path> writes that
// file anew: do so only when a change of results is intended.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "xml/xml_node.h"
#include "xml/xml_parser.h"

namespace {

namespace fs = std::filesystem;

const fs::path kSourceRoot = fs::path(__FILE__).parent_path().parent_path().parent_path();

// splitmix64: the same sequence on every platform and library.
struct Rng {
  uint64_t state;
  uint64_t Next() {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  size_t Below(size_t n) { return static_cast<size_t>(Next() % n); }
  bool OneIn(size_t n) { return Below(n) == 0; }
  // The first `common` entries of a list most of the time, any entry else.
  template <size_t N>
  const char* Pick(const char* const (&list)[N], size_t common = N) {
    return list[OneIn(8) ? Below(N) : Below(common)];
  }
};

struct Case {
  std::string text;
  unsigned flags = 0;
};

// Names collide often (and in different letter case) so that same-name
// nesting, case-blind end tags and longer names sharing a prefix all occur.
const char* const kNames[] = {"a", "a", "A", "b", "ab", "aB", "x", "item", "a/b", "/a", "a<b"};
const char* const kTexts[] = {"t",   "&amp;", "&lt;x&gt;", " ",   "\n\t", "&#x41;", "&#65;", "&nbsp;", "&#300;",
                              "x y", "\r\n",  "&",         "</a>", "<a>",  "a>b",    "]]>"};
const char* const kValues[] = {"1", "", "x y", "&amp;", "&quot;", "/", "</a>", "<a>", "a>b", "'", "\""};

void AddTree(Rng& rng, std::string* out, int depth);

void AddAttributes(Rng& rng, std::string* out) {
  for (size_t n = rng.Below(3); n > 0; --n) {
    *out += rng.OneIn(6) ? "\n" : " ";
    *out += rng.OneIn(2) ? "k" : "a";
    const char* value = rng.Pick(kValues, 6);
    switch (rng.Below(5)) {
      case 0: *out += "='" + std::string(value) + "'"; break;
      case 1: *out += " = \"" + std::string(value) + "\""; break;
      case 2: *out += "=v"; break;
      default: *out += "=\"" + std::string(value) + "\""; break;
    }
  }
}

void AddContent(Rng& rng, std::string* out, int depth) {
  for (size_t n = rng.Below(depth > 4 ? 2 : 5); n > 0; --n) {
    switch (rng.Below(12)) {
      case 0: *out += "<!--" + std::string(rng.Pick(kTexts, 11)) + "-->"; break;
      case 1: *out += "<?pi a='" + std::string(rng.Pick(kValues, 6)) + "'?>"; break;
      case 2: *out += "<![CDATA[" + std::string(rng.Pick(kTexts, 11)) + "]]>"; break;
      case 3: *out += "<!DOCTYPE r [<!ELEMENT r ANY>]>"; break;
      case 4: case 5: case 6: *out += rng.Pick(kTexts, 11); break;
      default: AddTree(rng, out, depth + 1); break;
    }
  }
}

void AddTree(Rng& rng, std::string* out, int depth) {
  std::string name = rng.OneIn(8) ? kNames[rng.Below(std::size(kNames))] : kNames[rng.Below(8)];
  *out += "<" + name;
  AddAttributes(rng, out);
  if (rng.OneIn(4)) {
    *out += rng.OneIn(5) ? " />" : "/>";
    return;
  }
  *out += ">";
  AddContent(rng, out, depth);
  // The end tag, sometimes in another letter case or with a blank.
  std::string end = name;
  if (rng.OneIn(4))
    for (char& ch : end) ch = (ch >= 'a' && ch <= 'z') ? static_cast<char>(ch - 32) : ch;
  *out += "</" + end + (rng.OneIn(6) ? " >" : ">");
}

// Byte-level damage: the malformations the parser has to report.
void Mutate(Rng& rng, std::string* text) {
  static const char kBytes[] = "<>/\"'=!-?[] a\t";
  for (size_t n = 1 + rng.Below(3); n > 0 && !text->empty(); --n) {
    size_t at = rng.Below(text->size());
    switch (rng.Below(4)) {
      case 0: text->erase(at, 1); break;
      case 1: text->insert(at, 1, kBytes[rng.Below(sizeof kBytes - 1)]); break;
      case 2: text->resize(at); break;
      default: text->insert(at, text->substr(rng.Below(text->size()), 1 + rng.Below(8))); break;
    }
  }
}

// Nested elements `depth` deep, named by kind: 0 distinct names, 1 all "a",
// 2 "A" and "a" in turn. Some start tags hold a "<" in an attribute value.
std::string Chain(int depth, int kind, bool dropEnd) {
  auto name = [kind](int d) { return kind == 0 ? "e" + std::to_string(d) : kind == 1 || d % 2 ? "a" : "A"; };
  std::string s;
  for (int d = 0; d < depth; ++d) s += "<" + name(d) + (d % 7 == 3 ? " k='<a>'>" : ">") + "t";
  for (int d = depth - 1; d >= 0; --d)
    if (!dropEnd || d != depth / 2) s += "</" + name(d) + ">";
  return s;
}

std::vector<Case> Generated() {
  std::vector<Case> cases;
  // One example of each error (and of the constructs around it).
  for (const char* text : {"<a><!-- open", "<?pi a='1'", "<a></a><?", "<?>", "<a><![CDATA[x</a>",
                           "<!DOCTYPE r [<!ELEMENT r>", "<a", "<>", "</>", "<a>", "<a></a", "<a =1/>", "<a x/>",
                           "<a x='1/>", "<a x=\"1'/>", "text only", "<a><a></a>", "<a><a/></a>", "<A></a>",
                           "<a><b></a></b>", "<ab><a></a></ab>", "<a x='</a>'>y</a>", "<a><!--</a>--></a>"})
    cases.push_back({text, 0});
  Rng rng{17};
  for (int i = 0; i < 10000; ++i) {
    Case c;
    for (size_t n = 1 + rng.Below(3); n > 0; --n) {
      if (rng.OneIn(5)) c.text += rng.Pick(kTexts, 11);
      AddTree(rng, &c.text, 0);
    }
    if (rng.OneIn(2)) Mutate(rng, &c.text);
    c.flags = rng.OneIn(4) ? 1 : 0;
    cases.push_back(std::move(c));
  }
  // Deep nesting: distinct names, one name, two alternating names in
  // different case, around the depth limit and with one end tag missing.
  for (int depth : {2, 3, 10, 64, 999, 1000, 1001, 1100})
    for (int kind : {0, 1, 2})
      for (bool dropEnd : {false, true}) cases.push_back({Chain(depth, kind, dropEnd), 0});
  return cases;
}

// Reads the fuzz corpus as the fuzz target does: the first byte picks the
// flags, the rest is the text.
std::vector<std::pair<std::string, Case>> Corpus() {
  std::vector<std::pair<std::string, Case>> out;
  for (const auto& entry : fs::directory_iterator(kSourceRoot / "fuzz/xml/corpus")) {
    std::ifstream in(entry.path(), std::ios::binary);
    std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (data.empty()) continue;
    out.push_back({entry.path().filename().string(), {data.substr(1), static_cast<unsigned>(data[0] & 1)}});
  }
  std::sort(out.begin(), out.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  return out;
}

void Put(std::string* out, std::string_view s) {
  *out += std::to_string(s.size());
  *out += ':';
  *out += s;
}

void Dump(XMLNode* node, std::string* out) {
  *out += static_cast<char>('0' + node->GetType());
  *out += node->IsCData() ? 'c' : '-';
  Put(out, node->GetName());
  const bool plain = node->GetType() == XMLNode::kComment || node->GetType() == XMLNode::kDeclaration;
  Put(out, plain ? node->GetValue() : node->GetEscapedValue());
  if (node->IsCData()) Put(out, node->GetValue());
  *out += 'A' + std::to_string(node->GetAttributes().size());
  for (XMLNode* a : node->GetAttributes()) Dump(a, out);
  *out += 'C' + std::to_string(node->GetChildren().size());
  for (XMLNode* c : node->GetChildren()) Dump(c, out);
}

// The whole result of Parse and of ParseNode on one input.
std::string Result(const Case& c, std::map<std::string, int>* errors) {
  std::string out;
  std::unique_ptr<XMLNode> doc;
  const char* error = nullptr;
  size_t position = 0;
  if (XMLNode::Parse(c.text, &doc, c.flags, &error, &position) != 0) {
    out = std::string("E") + error + "@" + std::to_string(position);
    ++(*errors)[error];
  } else {
    Dump(doc.get(), &out);
  }
  XMLNode parent(XMLNode::kDocument);
  size_t end = 0;
  error = nullptr;
  position = 0;
  int status = XMLNode::ParseNode(c.text, &parent, c.flags, &error, &position, &end);
  out += "|" + std::to_string(status) + (error ? error : "") + "@" + std::to_string(position) + "/" +
         std::to_string(end);
  Dump(&parent, &out);
  return out;
}

std::string Hash(std::string_view s) {
  uint64_t h = 0xcbf29ce484222325ull;
  for (unsigned char c : s) h = (h ^ c) * 0x100000001b3ull;
  char buf[9];
  snprintf(buf, sizeof buf, "%08x", static_cast<unsigned>(h ^ (h >> 32)));
  return buf;
}

TEST(XMLParseGolden, EveryRecordedResultIsReproduced) {
  std::vector<std::string> keys, hashes, inputs, results;
  std::map<std::string, int> errors;
  auto add = [&](const std::string& key, const Case& c) {
    std::string result = Result(c, &errors);
    keys.push_back(key);
    hashes.push_back(Hash(result));
    inputs.push_back(c.text);
    results.push_back(std::move(result));
  };
  for (const auto& [name, c] : Corpus()) add("c " + name, c);
  std::vector<Case> generated = Generated();
  for (size_t i = 0; i < generated.size(); ++i) add("g" + std::to_string(i), generated[i]);

  // Generated keys are implied by their order; only corpus keys are named.
  std::ostringstream lines;
  lines << "# hash of each result: corpus files by name, then the generated cases in order\n";
  for (size_t i = 0; i < keys.size(); ++i)
    lines << (keys[i][0] == 'c' ? keys[i].substr(2) + " " : "") << hashes[i] << "\n";
  if (const char* path = getenv("VELMORA_XML_GOLDEN_WRITE")) std::ofstream(path, std::ios::binary) << lines.str();

  // The generator reaches every error the parser reports, and successes.
  for (const char* text : {"End of comment not found", "End of processing instructions not found", "Empty Name",
                           "End of CDATA block not found", "End of DTD not found", "End of element tag not found",
                           "End tag not found", "End tag malformed", "Empty attribute name",
                           "Attibute missing value (no '=')", "Attribute value not terminated", kXMLErrorTooDeep})
    EXPECT_GE(errors[text], 1) << text;
  int failed = 0;
  for (const auto& [text, count] : errors) {
    failed += count;
    if (getenv("VELMORA_XML_GOLDEN_WRITE")) printf("%6d %s\n", count, text.c_str());
  }
  EXPECT_GT(static_cast<int>(generated.size()) - failed, 3000);

  std::ifstream in(kSourceRoot / "tests/golden/xml_parse.txt", std::ios::binary);
  ASSERT_TRUE(in) << "tests/golden/xml_parse.txt missing";
  std::vector<std::string> recorded;
  for (std::string line; std::getline(in, line);)
    if (!line.empty() && line[0] != '#') recorded.push_back(line);
  ASSERT_EQ(recorded.size(), keys.size());
  int shown = 0;
  for (size_t i = 0; i < keys.size(); ++i) {
    const size_t blank = recorded[i].rfind(' ');
    const std::string expected = recorded[i].substr(blank + 1);
    ASSERT_EQ(blank == std::string::npos ? "g" + std::to_string(i - (keys.size() - generated.size()))
                                         : "c " + recorded[i].substr(0, blank),
              keys[i]);
    if (expected == hashes[i]) continue;
    ADD_FAILURE() << keys[i] << ": result changed\ninput:  " << ::testing::PrintToString(inputs[i].substr(0, 400))
                  << "\nresult: " << ::testing::PrintToString(results[i].substr(0, 400));
    if (++shown == 5) break;
  }
}

}  // namespace
