// XMLAccumulator: builds a reply element by element. It owns a document node
// named "invisible" (a document's name is never written) and a stack of open
// elements; the top of the stack is the current node, where elements and
// attributes are added. Callers keep opens and closes balanced: the document
// node itself is never closed.
#pragma once
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "xml/xml_node.h"

class XMLAccumulator {
 public:
  XMLAccumulator();
  virtual ~XMLAccumulator();
  XMLAccumulator(const XMLAccumulator&) = delete;
  XMLAccumulator& operator=(const XMLAccumulator&) = delete;

  // Appends an element (plain text value, attributes in key order) to the
  // current node and makes it current. False when no node is current.
  bool OpenElement(std::string_view tag, std::string_view text = {}, const XMLAttributeMap* attributes = nullptr);
  // The same without making it current (a leaf).
  bool AddElement(std::string_view tag, std::string_view text = {}, const XMLAttributeMap* attributes = nullptr);
  bool AddElement(std::string_view tag, int number, const XMLAttributeMap* attributes = nullptr);  // "%d"
  bool AddElement(std::string_view tag, unsigned number, const XMLAttributeMap* attributes = nullptr);  // "%u"
  bool AddElement(std::string_view tag, long number, const XMLAttributeMap* attributes = nullptr);  // "%ld"
  bool AddElement(std::string_view tag, unsigned long number,
                  const XMLAttributeMap* attributes = nullptr);  // "%lu"
  bool AddElement(std::string_view tag, unsigned long long number,
                  const XMLAttributeMap* attributes = nullptr);  // "%llu"

  // Appends an attribute to the current node; false when none is current.
  bool AddAttribute(std::string_view name, std::string_view value);
  bool AddAttribute(std::string_view name, int number);       // "%d"
  bool AddAttribute(std::string_view name, unsigned number);  // "%u"

  // Closes the current element; its parent becomes current. False when no
  // node is current. Closing the document node leaves nothing current.
  bool CloseElement();

  // Parses text as a document of its own and appends a deep copy of its first
  // top-level node to the current node. False when it does not parse, has no
  // node, or nothing is current.
  bool AddXML(std::string_view text);

  // *out = the document serialized at `level` (no byte order mark).
  void GetXML(std::string* out, int level) const;

  // The document stays the builder's.
  XMLNode* Document() const { return document_.get(); }
  XMLNode* Current() const { return stack_.empty() ? nullptr : stack_.back(); }

 private:
  bool Add(std::string_view tag, std::string_view text, const XMLAttributeMap* attributes, bool open);

  std::unique_ptr<XMLNode> document_;
  std::vector<XMLNode*> stack_;  // open nodes, all inside document_
};
