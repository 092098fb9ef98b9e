#include "xml/configuration.h"

#include <cerrno>
#include <climits>
#include <cstdio>

namespace {

// The value of the element's "name" attribute, or null.
XMLNode* NameAttribute(XMLNode* element) {
  XMLNode* attribute = nullptr;
  element->FindAttribute(&attribute, "name");
  return attribute;
}

bool ReadDecimal(const std::string& text, bool allowSign, bool* negative, unsigned long long* magnitude) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' || text[i] == '\r')) ++i;
  *negative = false;
  if (allowSign && i < text.size() && (text[i] == '-' || text[i] == '+')) *negative = text[i++] == '-';
  unsigned long long value = 0;
  bool overflow = false;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    unsigned digit = static_cast<unsigned>(text[i] - '0');
    if (value > (ULLONG_MAX - digit) / 10) overflow = true;
    if (!overflow) value = value * 10 + digit;
  }
  *magnitude = overflow ? ULLONG_MAX : value;
  return true;
}

}  // namespace

Configuration::~Configuration() { FreeDocument(); }

void Configuration::FreeDocument() {
  owned_.reset();
  document_ = nullptr;
  borrowed_ = false;
}

XMLNode* Configuration::FindNamed(XMLNode* parent, std::string_view element, std::string_view name) const {
  if (!parent) return nullptr;
  for (XMLNode* child : parent->GetChildren()) {
    if (child->GetType() != XMLNode::kElement || !XMLNamesEqual(child->GetName(), element)) continue;
    XMLNode* attribute = NameAttribute(child);
    if (attribute && attribute->GetValue() == name) return child;
  }
  return nullptr;
}

XMLNode* Configuration::FindSection(XMLNode* parent, std::string_view name) const {
  return FindNamed(parent, "section", name);
}

XMLNode* Configuration::CreateSection(XMLNode* parent, std::string_view name) {
  if (!parent || borrowed_) return nullptr;
  XMLNode* section = parent->AppendChild(std::make_unique<XMLNode>(XMLNode::kElement, "section"));
  section->GetOrCreateAttribute("name")->SetValue(name);
  return section;
}

XMLNode* Configuration::GetSection(XMLNode* parent, std::string_view name, bool create, bool* created) {
  if (created) *created = false;
  XMLNode* section = FindSection(parent, name);
  if (section || !create) return section;
  section = CreateSection(parent, name);
  if (section && created) *created = true;
  return section;
}

XMLNode* Configuration::FindKey(XMLNode* parent, std::string_view name) const {
  return FindNamed(parent, "key", name);
}

bool Configuration::SetKey(XMLNode* parent, std::string_view name, std::string_view text) {
  if (!parent || borrowed_) return false;
  XMLNode* key = FindKey(parent, name);
  if (!key) {
    key = parent->AppendChild(std::make_unique<XMLNode>(XMLNode::kElement, "key"));
    key->GetOrCreateAttribute("name")->SetValue(name);
  }
  key->GetOrCreateAttribute("value")->SetValue(text);
  return true;
}

bool Configuration::SetKeyNumber(XMLNode* parent, std::string_view name, unsigned long number) {
  char buf[32];
  snprintf(buf, sizeof buf, "%lu", number);
  return SetKey(parent, name, buf);
}

bool Configuration::GetKey(XMLNode* parent, std::string_view name, std::string* text) const {
  XMLNode* key = FindKey(parent, name);
  if (!key) return false;
  XMLNode* value = nullptr;
  if (key->FindAttribute(&value, "value") != 0) return false;
  *text = value->GetValue();
  return true;
}

bool Configuration::GetKeyUnsigned(XMLNode* parent, std::string_view name, unsigned long* number) const {
  std::string text;
  if (!GetKey(parent, name, &text)) return false;
  bool negative = false;
  unsigned long long magnitude = 0;
  ReadDecimal(text, false, &negative, &magnitude);
  *number = magnitude > ULONG_MAX ? ULONG_MAX : static_cast<unsigned long>(magnitude);
  return true;
}

bool Configuration::GetKeySigned(XMLNode* parent, std::string_view name, long* number) const {
  std::string text;
  if (!GetKey(parent, name, &text)) return false;
  bool negative = false;
  unsigned long long magnitude = 0;
  ReadDecimal(text, true, &negative, &magnitude);
  if (negative)
    *number = magnitude > static_cast<unsigned long long>(LONG_MAX) ? LONG_MIN : -static_cast<long>(magnitude);
  else
    *number = magnitude > static_cast<unsigned long long>(LONG_MAX) ? LONG_MAX : static_cast<long>(magnitude);
  return true;
}

bool Configuration::RemoveKey(XMLNode* parent, std::string_view name) {
  if (borrowed_) return false;
  XMLNode* key = FindKey(parent, name);
  if (!key) return false;
  key->RemoveAndDelete();
  return true;
}

bool Configuration::RemoveSection(XMLNode* section) {
  if (!section || borrowed_ || section == document_ || section->GetType() == XMLNode::kDocument) return false;
  if (section->Detach() != 0) return false;
  std::unique_ptr<XMLNode> removed(section);  // detached: ours to delete
  return true;
}

void Configuration::ListNames(XMLNode* parent, std::string_view element, std::vector<std::string>* names) const {
  names->clear();
  if (!parent) return;
  for (XMLNode* child : parent->GetChildren()) {
    if (child->GetType() != XMLNode::kElement || !XMLNamesEqual(child->GetName(), element)) continue;
    if (XMLNode* attribute = NameAttribute(child)) names->emplace_back(attribute->GetValue());
  }
}

void Configuration::ListSectionNames(XMLNode* parent, std::vector<std::string>* names) const {
  ListNames(parent, "section", names);
}

void Configuration::ListKeyNames(XMLNode* parent, std::vector<std::string>* names) const {
  ListNames(parent, "key", names);
}

void Configuration::ListSections(XMLNode* parent, std::vector<std::pair<std::string, XMLNode*>>* sections) const {
  sections->clear();
  if (!parent) return;
  for (XMLNode* child : parent->GetChildren()) {
    if (child->GetType() != XMLNode::kElement || !XMLNamesEqual(child->GetName(), "section")) continue;
    if (XMLNode* attribute = NameAttribute(child)) sections->emplace_back(attribute->GetValue(), child);
  }
}

bool Configuration::ParseText(std::string_view text) {
  FreeDocument();
  if (XMLNode::Parse(text, &owned_, 0, nullptr, nullptr) != 0) return false;
  document_ = owned_.get();
  return true;
}

void Configuration::NewDocument() {
  FreeDocument();
  owned_ = std::make_unique<XMLNode>(XMLNode::kDocument, "invisibleroot");
  document_ = owned_.get();
}

void Configuration::Borrow(XMLNode* document) {
  FreeDocument();
  document_ = document;
  borrowed_ = true;
}

void Configuration::Serialize(std::string* out, bool indented) const {
  if (!document_) {
    out->clear();
    return;
  }
  document_->Serialize(out, indented ? 1 : -1, false);
}
