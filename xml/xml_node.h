// XMLNode: the document tree, with a tolerant parser and a serializer.
//
// A node keeps its text twice, as a plain value and as an escaped value; the
// one set last is authoritative and the other is derived from it on demand
// (Unescape to read a value, Escape when serializing). The parser stores
// element text and attribute values escaped, exactly as written, so parsed
// text is written back byte for byte; comments and declarations keep only
// their plain text. An element holds one text: all character data between
// its tags, concatenated; it is written after the element's children.
//
// Names are compared without regard to letter case (each byte upper-cased)
// by every lookup and by the parser's end-tag search.
//
// Results are status numbers: 0 success, 1 failure. Error texts are static
// strings (see xml_parser.h for the list).
//
// Ownership: a node owns its children and attributes (deleting it deletes
// the subtree). Documents made by Parse, LoadFile and CreateDocument, and
// copies made by Clone, are handed over in a std::unique_ptr; a node given
// to AppendChild or PrependChild belongs to its new parent. Detach is the
// one hand-over by plain pointer: a detached node belongs to the caller, and
// it may outlive the document it came from.
//
// Memory. Parse copies the text once into blocks (XMLBlocks) that the
// document holds a reference to, and places the nodes it makes in those
// blocks too, with their child and attribute lists: names, attribute values
// and element texts are views into the copy, so a parse costs a few heap
// allocations whatever the number of nodes. Deleting a node that lives in a
// block destroys it in place; the memory goes when the blocks do. The blocks
// are held by reference: by the document node, and by each node detached
// from a parsed tree (Detach takes a reference), so a detached subtree keeps
// the text it views alive; the last reference frees them.
//
// Setters and lists that change give a node storage of its own (a heap
// record with its strings, and heap lists), so values rewritten over the
// life of a parsed document never grow its blocks. A node with storage of
// its own must be destroyed to free it, so any change to a tree marks the
// blocks of its nearest holder "changed"; destroying the holder of unchanged
// blocks frees them without visiting the nodes, which then own nothing.
// ParseNode, Clone and the builders make nodes on the heap, each owning its
// text. Views handed out by the getters stay valid until the node next
// changes or is deleted.
#pragma once
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <new>

class XMLBlocks;
class XMLNode;

// A node's children or attributes: an array of pointers, in a document's
// blocks as the parser left it, or on the heap once the list has changed.
class XMLNodeList {
 public:
  XMLNodeList() = default;
  XMLNodeList(const XMLNodeList&) = delete;  // a copy would share the array
  XMLNodeList& operator=(const XMLNodeList&) = delete;
  XMLNode* const* begin() const { return items_; }
  XMLNode* const* end() const { return items_ + size_; }
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  XMLNode* operator[](size_t i) const { return items_[i]; }
  XMLNode* front() const { return items_[0]; }
  XMLNode* back() const { return items_[size_ - 1]; }

 private:
  friend class XMLNode;
  friend class XMLParser;
  XMLNode** items_ = nullptr;
  uint32_t size_ = 0;
  uint32_t capacity_ = 0;  // 0: items_ is not ours (null, or in a block)
};

// Attributes given to the builders, written in key order.
using XMLAttributeMap = std::map<std::string, std::string>;

// True when the names are equal ignoring ASCII letter case.
bool XMLNamesEqual(std::string_view a, std::string_view b);

class XMLNode {
 public:
  enum Type : uint32_t {
    kComment = 0,
    kElement = 1,
    kAttribute = 2,
    kProcessingInstruction = 3,
    kDeclaration = 4,  // any other "<!" construct, such as a DOCTYPE
    kDocument = 5,
  };
  // Parse flags.
  static constexpr unsigned kDropWhitespaceText = 1u;

  explicit XMLNode(Type type, std::string_view name = {});
  // Deletes the whole subtree (children and attributes).
  ~XMLNode();
  // A node placed in a document's blocks is destroyed in place, not freed.
  void operator delete(XMLNode* node, std::destroying_delete_t);
  // Used only if a constructor fails inside a new-expression.
  void operator delete(void* memory) { ::operator delete(memory); }
  XMLNode(const XMLNode&) = delete;
  XMLNode& operator=(const XMLNode&) = delete;

  // Parses a whole text into a new document, returned in *document; on
  // failure *document is empty, *errorText is one of the parser's texts and
  // *errorPosition the offset in text of the "<" of the construct that
  // failed (for an attribute error, the start of that attribute). Either
  // out pointer may be null.
  static int Parse(std::string_view text, std::unique_ptr<XMLNode>* document, unsigned flags,
                   const char** errorText, size_t* errorPosition);
  // Parses one construct at the start of text into parent; *end receives the
  // offset just after it.
  static int ParseNode(std::string_view text, XMLNode* parent, unsigned flags, const char** errorText,
                       size_t* errorPosition, size_t* end);

  // Reads the whole file, then Parse. When the file cannot be opened
  // *errorText is the system's message for the error (a per-thread buffer,
  // valid until this thread's next LoadFile).
  static int LoadFile(const std::string& path, std::unique_ptr<XMLNode>* document, unsigned flags,
                      const char** errorText);
  // Serializes, then replaces the file's contents atomically (a temporary
  // file renamed over it). Open errors as for LoadFile (a second buffer).
  int SaveFile(const std::string& path, int level, bool withBom, const char** errorText);

  // A new document: "<?xml version="1.0" encoding="UTF-8" standalone="yes"?>"
  // and an empty root element, parsed (after a UTF-8 byte order mark when
  // withBom). Returns the document and its root element (which the
  // document owns).
  static int CreateDocument(std::string_view rootName, bool withBom, std::unique_ptr<XMLNode>* document,
                            XMLNode** root);

  // *out = the node serialized at indentation level `level`: < 0 compact (no
  // tabs, no line feeds), 0 and above laid out with tabs. The size is computed
  // first and reserved.
  void Serialize(std::string* out, int level, bool withBom);

  Type GetType() const { return type_; }
  std::string_view GetName() const { return name_; }
  XMLNode* GetParent() const { return parent_; }
  bool IsCData() const { return cdata_; }
  void SetCData(bool on) { cdata_ = on; }

  // The plain value (derived from the escaped value when needed).
  std::string_view GetValue();
  // The escaped value (derived from the plain value when needed: attribute
  // rules for attributes, text rules otherwise).
  std::string_view GetEscapedValue();
  void SetValue(std::string_view value);
  void SetEscapedValue(std::string_view escaped);
  // Appends escaped text (the parser's character data); clears the plain value.
  void AppendEscapedText(std::string_view escaped);

  // Valid until the list next changes.
  const XMLNodeList& GetChildren() const { return children_; }
  const XMLNodeList& GetAttributes() const { return attributes_; }

  // Takes the node: attributes go to the attribute list, others to the
  // children. Returns it (now owned by this node).
  XMLNode* AppendChild(std::unique_ptr<XMLNode> node);
  XMLNode* PrependChild(std::unique_ptr<XMLNode> node);

  // Finds the first child element named path[0]; with more names, descends
  // into it with the rest, and when that fails goes on with the next child of
  // the same name. *out is null on failure.
  int FindChildPath(XMLNode** out, std::initializer_list<std::string_view> path);
  int FindChildPath(XMLNode** out, const std::string_view* path, size_t count);
  template <typename... Names>
  int FindChild(XMLNode** out, const Names&... names) {
    return FindChildPath(out, {std::string_view(names)...});
  }
  int FindAttribute(XMLNode** out, std::string_view name);
  // The attribute of that name, or a new one with an empty value appended.
  XMLNode* GetOrCreateAttribute(std::string_view name);

  // A deep copy, with no parent.
  std::unique_ptr<XMLNode> Clone() const;
  // Removes the node from its parent's list; the caller owns it then. A node
  // without a parent succeeds only when it is a document (which stays with
  // whoever held it).
  int Detach();
  // Detach, then delete.
  void RemoveAndDelete();

 private:
  friend class XMLParser;
  // Storage of a node's own: the strings its views point into once set, and
  // the reference to the blocks held by a document or a detached node.
  struct Owned {
    std::string name, value, escaped;
    XMLBlocks* blocks = nullptr;
  };
  // A node the parser places in a block; its name views the parsed text.
  XMLNode(Type type, std::string_view name, XMLNode* parent) : type_(type), inBlock_(true), parent_(parent), name_(name) {}

  bool KeepsPlainText() const { return type_ == kComment || type_ == kDeclaration; }
  Owned& Own();
  void Insert(XMLNodeList* list, size_t at, XMLNode* node);
  // The blocks of the nearest holder at or above this node, or null.
  XMLBlocks* HolderBlocks() const;
  // Marks the nearest holder's blocks changed (see Memory above).
  void Touch();

  Type type_;
  bool cdata_ = false;
  bool inBlock_ = false;
  XMLNode* parent_ = nullptr;
  std::string_view name_;
  std::string_view value_;
  std::string_view escaped_;
  XMLNodeList children_;
  XMLNodeList attributes_;
  Owned* own_ = nullptr;
};
