// Parser fuzz target. Any input either parses or fails with one of the
// parser's documented error texts, never crashes. When a document parses and
// none of its attribute values holds a quote character (nor "<"), and its
// names hold no markup characters, parse -> serialize -> parse -> serialize
// gives the same text twice. The first byte picks the
// parse flags so that the white-space rule is exercised too.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "xml/escape.h"
#include "xml/xml_node.h"
#include "xml/xml_parser.h"

namespace {

const char* const kErrors[] = {
    "End of comment not found", "End of processing instructions not found",
    "Empty Name",               "End of CDATA block not found",
    "End of DTD not found",     "End of element tag not found",
    "End tag not found",        "End tag malformed",
    "Empty attribute name",     "Attibute missing value (no '=')",
    "Attribute value not terminated", kXMLErrorTooDeep,
};

bool Documented(const char* error) {
  if (!error) return false;
  for (const char* known : kErrors)
    if (strcmp(known, error) == 0) return true;
  return false;
}

// A name the serializer can write back unambiguously: the tolerant parser
// also accepts names holding markup characters ("<a<b>", "</>"), which only
// hostile input produces and which need not read back as the same tree.
bool PlainName(std::string_view name) {
  for (char c : name)
    if (strchr("<>/\"'=&!? \t\r\n", c) || c == 0) return false;
  return true;
}

// Documents the round trip is promised for: attribute values free of quotes
// (values are kept as written, so a quote inside one cannot round-trip) and
// of "<" (which the end-tag search would take for a start tag), CDATA text
// without "<", plain names.
bool RoundTrips(XMLNode* node) {
  if ((node->GetType() == XMLNode::kElement || node->GetType() == XMLNode::kProcessingInstruction) &&
      !PlainName(node->GetName()))
    return false;
  // Adjacent CDATA sections and character data are joined into one value,
  // so a "<" in it can form a tag the input never had ("1<" + "a>"); the
  // end-tag search, which does not know CDATA, then pairs tags differently.
  if (node->IsCData() && node->GetValue().find('<') != std::string::npos) return false;
  // A CDATA-flagged element is written from its plain value, which ends at
  // the first reference that does not decode ("&x" without ";"): text read
  // after the section with such a reference is not written back.
  if (node->IsCData()) {
    std::string plain;
    if (Unescape(&plain, node->GetEscapedValue()) != 0) return false;
  }
  for (XMLNode* a : node->GetAttributes()) {
    std::string_view v = a->GetEscapedValue();
    if (v.find_first_of("\"'<") != std::string::npos || !PlainName(a->GetName())) return false;
  }
  for (XMLNode* c : node->GetChildren())
    if (!RoundTrips(c)) return false;
  return true;
}

[[noreturn]] void Die(const char* what, std::string_view a, std::string_view b) {
  fprintf(stderr, "%s\n--- first\n", what);
  fwrite(a.data(), 1, a.size(), stderr);
  fprintf(stderr, "\n--- second\n");
  fwrite(b.data(), 1, b.size(), stderr);
  fprintf(stderr, "\n");
  abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const unsigned flags = data[0] & 1u;
  std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);

  std::unique_ptr<XMLNode> doc;
  const char* error = nullptr;
  size_t position = 0;
  if (XMLNode::Parse(text, &doc, flags, &error, &position) != 0) {
    if (doc || !Documented(error) || position >= text.size()) Die("bad failure report", error ? error : "", text);
    return 0;
  }
  std::string first;
  doc->Serialize(&first, -1, false);
  std::string laidOut;
  doc->Serialize(&laidOut, 0, false);  // every level must at least not crash
  for (XMLNode* c : doc->GetChildren()) {
    c->GetValue();
    std::string plain, back;
    Escape(&plain, c->GetValue(), kEscapeText);
    Unescape(&back, plain);
  }
  if (!RoundTrips(doc.get())) return 0;

  std::unique_ptr<XMLNode> again;
  if (XMLNode::Parse(first, &again, flags, &error, &position) != 0) Die(error, first, text);
  std::string second;
  again->Serialize(&second, -1, false);
  if (first != second) Die("serialization changed", first, second);
  return 0;
}
