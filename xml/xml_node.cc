#include "xml/xml_node.h"

#include <algorithm>
#include <cstring>

#include "platform/whole_file.h"
#include "xml/escape.h"
#include "xml/xml_blocks.h"
#include "xml/xml_parser.h"

namespace {

inline unsigned char Upper(unsigned char c) { return (c >= 'a' && c <= 'z') ? c - 32 : c; }

const char kBom[] = "\xEF\xBB\xBF";

// Serialization runs twice over the tree with the same code: once counting
// bytes, once appending them into the reserved text.
struct CountSink {
  size_t size = 0;
  void Put(std::string_view s) { size += s.size(); }
  void Put(char) { ++size; }
  void Tabs(int n) {
    if (n > 0) size += static_cast<size_t>(n);
  }
};
struct AppendSink {
  std::string* out;
  void Put(std::string_view s) { out->append(s); }
  void Put(char c) { out->push_back(c); }
  void Tabs(int n) {
    if (n > 0) out->append(static_cast<size_t>(n), '\t');
  }
};

template <typename Sink>
void WriteNode(XMLNode* node, int level, Sink& sink);

template <typename Sink>
void WriteAttributes(XMLNode* node, Sink& sink) {
  for (XMLNode* a : node->GetAttributes()) {
    sink.Put(' ');
    sink.Put(a->GetName());
    sink.Put("=\"");
    sink.Put(a->GetEscapedValue());
    sink.Put('"');
  }
}

template <typename Sink>
void WriteDocument(XMLNode* doc, int level, Sink& sink) {
  for (XMLNode* child : doc->GetChildren()) {
    if (level > 0) sink.Tabs(level);
    WriteNode(child, level < 0 ? level : level + 1, sink);
    if (level >= 0) sink.Put('\n');
  }
  if (level >= 1) sink.Tabs(level - 1);
}

// One CDATA section, except that a "]]>" inside the text (possible when
// character data after a section was joined to it) is split over two
// sections, "]]" + "]]><![CDATA[" + ">", so that the text reads back the same.
template <typename Sink>
void WriteCData(std::string_view plain, Sink& sink) {
  sink.Put("<![CDATA[");
  for (size_t at; (at = plain.find("]]>")) != std::string_view::npos; plain.remove_prefix(at + 2)) {
    sink.Put(plain.substr(0, at + 2));
    sink.Put("]]><![CDATA[");
  }
  sink.Put(plain);
  sink.Put("]]>");
}

template <typename Sink>
void WriteElement(XMLNode* node, int level, Sink& sink) {
  sink.Put('<');
  sink.Put(node->GetName());
  WriteAttributes(node, sink);
  std::string_view escaped = node->GetEscapedValue();
  if (escaped.empty() && node->GetChildren().empty()) {
    sink.Put("/>");
    return;
  }
  // A start tag that would end in "/>" reads back as an empty element: a
  // name ending in "/" (only the tolerant parser makes one) gets a blank.
  if (node->GetAttributes().empty() && node->GetName().back() == '/') sink.Put(' ');
  sink.Put('>');
  const bool laidOut = node->IsCData() ? node->GetValue().empty() : escaped.empty();
  if (laidOut && level >= 0) sink.Put('\n');
  for (XMLNode* child : node->GetChildren()) {
    if (laidOut && level >= 1) sink.Tabs(level);
    // Compact output stays compact all the way down.
    WriteNode(child, level < 0 ? level : level + 1, sink);
    if (laidOut && level >= 0) sink.Put('\n');
  }
  if (laidOut && level >= 1) sink.Tabs(level - 1);
  if (node->IsCData()) {
    std::string_view plain = node->GetValue();
    if (!plain.empty()) WriteCData(plain, sink);
  } else {
    sink.Put(node->GetEscapedValue());
  }
  sink.Put("</");
  sink.Put(node->GetName());
  sink.Put('>');
}

template <typename Sink>
void WriteNode(XMLNode* node, int level, Sink& sink) {
  switch (node->GetType()) {
    case XMLNode::kDocument: WriteDocument(node, level, sink); break;
    case XMLNode::kElement: WriteElement(node, level, sink); break;
    case XMLNode::kAttribute:
      sink.Put(' ');
      sink.Put(node->GetName());
      sink.Put("=\"");
      sink.Put(node->GetEscapedValue());
      sink.Put('"');
      break;
    case XMLNode::kComment:
      sink.Put("<!--");
      sink.Put(node->GetValue());
      sink.Put("-->");
      break;
    case XMLNode::kProcessingInstruction:
      sink.Put("<?");
      sink.Put(node->GetName());
      WriteAttributes(node, sink);
      sink.Put("?>");
      break;
    case XMLNode::kDeclaration: sink.Put(node->GetValue()); break;
  }
}

template <typename Sink>
void WriteTop(XMLNode* node, int level, bool withBom, Sink& sink) {
  if (withBom || (node->GetType() == XMLNode::kDocument && node->GetValue() == kBom)) sink.Put(kBom);
  WriteNode(node, level, sink);
}

}  // namespace

bool XMLNamesEqual(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Upper(static_cast<unsigned char>(a[i])) != Upper(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

XMLNode::XMLNode(Type type, std::string_view name) : type_(type) {
  if (!name.empty()) name_ = Own().name.assign(name);
}

XMLNode::~XMLNode() {
  XMLBlocks* held = own_ ? own_->blocks : nullptr;
  // Unchanged blocks: every node below lives in them and owns nothing.
  if (!held || held->changed.load(std::memory_order_relaxed)) {
    for (XMLNode* a : attributes_) delete a;
    for (XMLNode* c : children_) delete c;
  }
  if (attributes_.capacity_) delete[] attributes_.items_;
  if (children_.capacity_) delete[] children_.items_;
  delete own_;
  if (held) held->Unref();  // last: it may free the block this node lies in
}

void XMLNode::operator delete(XMLNode* node, std::destroying_delete_t) {
  const bool inBlock = node->inBlock_;
  node->~XMLNode();
  if (!inBlock) ::operator delete(node);
}

XMLNode::Owned& XMLNode::Own() {
  if (!own_) {
    own_ = new Owned;
    Touch();
  }
  return *own_;
}

XMLBlocks* XMLNode::HolderBlocks() const {
  for (const XMLNode* n = this; n; n = n->parent_)
    if (n->own_ && n->own_->blocks) return n->own_->blocks;
  return nullptr;
}

void XMLNode::Touch() {
  if (XMLBlocks* blocks = HolderBlocks()) blocks->changed.store(true, std::memory_order_relaxed);
}

std::string_view XMLNode::GetValue() {
  if (!KeepsPlainText() && value_.empty() && !escaped_.empty()) {
    // Text without references reads as it is written: no copy.
    if (escaped_.find('&') == std::string_view::npos) {
      value_ = escaped_;
    } else {
      Owned& own = Own();
      Unescape(&own.value, escaped_);
      value_ = own.value;
    }
  }
  return value_;
}

std::string_view XMLNode::GetEscapedValue() {
  if (!KeepsPlainText() && escaped_.empty() && !value_.empty()) {
    Owned& own = Own();
    Escape(&own.escaped, value_, type_ == kAttribute ? 0u : kEscapeText);
    escaped_ = own.escaped;
  }
  return escaped_;
}

void XMLNode::SetValue(std::string_view value) {
  value_ = Own().value.assign(value);
  escaped_ = {};
}

void XMLNode::SetEscapedValue(std::string_view escaped) {
  escaped_ = Own().escaped.assign(escaped);
  value_ = {};
}

void XMLNode::AppendEscapedText(std::string_view escaped) {
  if (escaped_.empty() && !value_.empty()) GetEscapedValue();
  Owned& own = Own();
  // Appended to the node's own copy (the views may point elsewhere, even
  // into the text appended).
  if (escaped_.data() != own.escaped.data()) {
    std::string joined;
    joined.reserve(escaped_.size() + escaped.size());
    joined.append(escaped_).append(escaped);
    own.escaped.swap(joined);
  } else {
    own.escaped.append(escaped);
  }
  escaped_ = own.escaped;
  value_ = {};
}

void XMLNode::Insert(XMLNodeList* list, size_t at, XMLNode* node) {
  if (list->size_ == list->capacity_ || list->capacity_ == 0) {
    const uint32_t capacity = list->size_ < 2 ? 4 : list->size_ * 2;
    XMLNode** items = new XMLNode*[capacity];
    if (list->size_) memcpy(items, list->items_, list->size_ * sizeof(XMLNode*));
    if (list->capacity_) delete[] list->items_;
    list->items_ = items;
    list->capacity_ = capacity;
  }
  memmove(list->items_ + at + 1, list->items_ + at, (list->size_ - at) * sizeof(XMLNode*));
  list->items_[at] = node;
  ++list->size_;
  node->parent_ = this;
  Touch();
}

XMLNode* XMLNode::AppendChild(std::unique_ptr<XMLNode> node) {
  XMLNodeList* list = node->type_ == kAttribute ? &attributes_ : &children_;
  Insert(list, list->size_, node.get());
  return node.release();
}

XMLNode* XMLNode::PrependChild(std::unique_ptr<XMLNode> node) {
  Insert(node->type_ == kAttribute ? &attributes_ : &children_, 0, node.get());
  return node.release();
}

int XMLNode::FindChildPath(XMLNode** out, const std::string_view* path, size_t count) {
  *out = nullptr;
  if (count == 0) return 1;
  for (XMLNode* child : children_) {
    if (child->type_ != kElement || !XMLNamesEqual(child->name_, path[0])) continue;
    if (count == 1) {
      *out = child;
      return 0;
    }
    if (child->FindChildPath(out, path + 1, count - 1) == 0) return 0;
  }
  return 1;
}

int XMLNode::FindChildPath(XMLNode** out, std::initializer_list<std::string_view> path) {
  return FindChildPath(out, path.begin(), path.size());
}

int XMLNode::FindAttribute(XMLNode** out, std::string_view name) {
  for (XMLNode* a : attributes_) {
    if (XMLNamesEqual(a->name_, name)) {
      *out = a;
      return 0;
    }
  }
  *out = nullptr;
  return 1;
}

XMLNode* XMLNode::GetOrCreateAttribute(std::string_view name) {
  XMLNode* found = nullptr;
  if (FindAttribute(&found, name) == 0) return found;
  return AppendChild(std::make_unique<XMLNode>(kAttribute, name));
}

std::unique_ptr<XMLNode> XMLNode::Clone() const {
  auto copy = std::make_unique<XMLNode>(type_, name_);
  if (!value_.empty()) copy->value_ = copy->Own().value.assign(value_);
  copy->cdata_ = cdata_;
  if (!escaped_.empty()) copy->escaped_ = copy->Own().escaped.assign(escaped_);
  for (const XMLNode* a : attributes_) copy->AppendChild(a->Clone());
  for (const XMLNode* c : children_) copy->AppendChild(c->Clone());
  return copy;
}

int XMLNode::Detach() {
  if (!parent_) return type_ == kDocument ? 0 : 1;
  XMLNodeList& list = type_ == kAttribute ? parent_->attributes_ : parent_->children_;
  XMLNode** it = std::find(list.items_, list.items_ + list.size_, this);
  if (it == list.items_ + list.size_) return 1;
  memmove(it, it + 1, (list.items_ + list.size_ - it - 1) * sizeof(XMLNode*));
  --list.size_;
  // A node from a parsed document keeps its blocks alive from now on.
  if (inBlock_ && !(own_ && own_->blocks)) {
    XMLBlocks* blocks = parent_->HolderBlocks();
    parent_ = nullptr;
    if (blocks) {
      blocks->Ref();
      Own().blocks = blocks;
    }
  }
  parent_ = nullptr;
  return 0;
}

void XMLNode::RemoveAndDelete() {
  Detach();
  delete this;
}

void XMLNode::Serialize(std::string* out, int level, bool withBom) {
  CountSink count;
  WriteTop(this, level, withBom, count);
  out->clear();
  out->reserve(count.size);
  AppendSink sink{out};
  WriteTop(this, level, withBom, sink);
}

int XMLNode::Parse(std::string_view text, std::unique_ptr<XMLNode>* document, unsigned flags,
                   const char** errorText, size_t* errorPosition) {
  document->reset();
  auto parsed = std::make_unique<XMLNode>(kDocument);
  XMLBlocks* blocks = XMLBlocks::Create(text, XMLParser::BlockEstimate(text));
  parsed->Own().blocks = blocks;
  XMLParser parser(blocks->Text(), flags, blocks);
  if (parser.ParseRange(parsed.get(), 0, text.size(), 0) != 0) {
    if (errorText) *errorText = parser.ErrorText();
    if (errorPosition) *errorPosition = parser.ErrorPosition();
    return 1;
  }
  *document = std::move(parsed);
  return 0;
}

int XMLNode::ParseNode(std::string_view text, XMLNode* parent, unsigned flags, const char** errorText,
                       size_t* errorPosition, size_t* end) {
  XMLParser parser(text, flags, nullptr);
  size_t next = 0;
  if (parser.ParseOne(parent, 0, text.size(), 0, &next) != 0) {
    if (errorText) *errorText = parser.ErrorText();
    if (errorPosition) *errorPosition = parser.ErrorPosition();
    return 1;
  }
  if (end) *end = next;
  return 0;
}

int XMLNode::LoadFile(const std::string& path, std::unique_ptr<XMLNode>* document, unsigned flags,
                      const char** errorText) {
  // Per-thread instead of one static buffer shared by all threads: a loader
  // never sees another thread's message.
  static thread_local char openError[128];
  document->reset();
  std::string text;
  int error = 0;
  switch (platform::ReadWholeFile(path, &text, &error)) {
    case platform::kFileOk: break;
    case platform::kFileShortRead:
      if (errorText) *errorText = "Unexpected number of bytes read";
      return 1;
    default:
      platform::ErrorText(error, openError, sizeof openError);
      if (errorText) *errorText = openError;
      return 1;
  }
  return Parse(text, document, flags, errorText, nullptr);
}

int XMLNode::SaveFile(const std::string& path, int level, bool withBom, const char** errorText) {
  static thread_local char openError[128];
  std::string text;
  Serialize(&text, level, withBom);
  int error = 0;
  switch (platform::ReplaceWholeFile(path, text, &error)) {
    case platform::kFileOk: return 0;
    case platform::kFileShortWrite:
      if (errorText) *errorText = "Unexpected number of bytes written";
      return 1;
    default:
      platform::ErrorText(error, openError, sizeof openError);
      if (errorText) *errorText = openError;
      return 1;
  }
}

int XMLNode::CreateDocument(std::string_view rootName, bool withBom, std::unique_ptr<XMLNode>* document,
                            XMLNode** root) {
  std::string text;
  if (withBom) text += kBom;
  text += "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?><";
  text += rootName;
  text += "/>";
  if (root) *root = nullptr;
  if (Parse(text, document, 0, nullptr, nullptr) != 0) return 1;
  if (root) {
    for (XMLNode* child : (*document)->GetChildren())
      if (child->GetType() == kElement) *root = child;
    if (!*root) {
      document->reset();
      return 1;
    }
  }
  return 0;
}
