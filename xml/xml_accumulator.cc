#include "xml/xml_accumulator.h"

#include <cstdio>

XMLAccumulator::XMLAccumulator() : document_(std::make_unique<XMLNode>(XMLNode::kDocument, "invisible")) {
  stack_.push_back(document_.get());
}

XMLAccumulator::~XMLAccumulator() = default;

bool XMLAccumulator::Add(std::string_view tag, std::string_view text, const XMLAttributeMap* attributes, bool open) {
  XMLNode* current = Current();
  if (!current) return false;
  XMLNode* element = current->AppendChild(std::make_unique<XMLNode>(XMLNode::kElement, tag));
  element->SetValue(text);
  if (attributes) {
    for (const auto& [name, value] : *attributes)
      element->AppendChild(std::make_unique<XMLNode>(XMLNode::kAttribute, name))->SetValue(value);
  }
  if (open) stack_.push_back(element);
  return true;
}

bool XMLAccumulator::OpenElement(std::string_view tag, std::string_view text, const XMLAttributeMap* attributes) {
  return Add(tag, text, attributes, true);
}

bool XMLAccumulator::AddElement(std::string_view tag, std::string_view text, const XMLAttributeMap* attributes) {
  return Add(tag, text, attributes, false);
}

bool XMLAccumulator::AddElement(std::string_view tag, int number, const XMLAttributeMap* attributes) {
  char buf[32];
  snprintf(buf, sizeof buf, "%d", number);
  return Add(tag, buf, attributes, false);
}

bool XMLAccumulator::AddElement(std::string_view tag, unsigned number, const XMLAttributeMap* attributes) {
  char buf[32];
  snprintf(buf, sizeof buf, "%u", number);
  return Add(tag, buf, attributes, false);
}

bool XMLAccumulator::AddElement(std::string_view tag, long number, const XMLAttributeMap* attributes) {
  char buf[32];
  snprintf(buf, sizeof buf, "%ld", number);
  return Add(tag, buf, attributes, false);
}

bool XMLAccumulator::AddElement(std::string_view tag, unsigned long number, const XMLAttributeMap* attributes) {
  char buf[32];
  snprintf(buf, sizeof buf, "%lu", number);
  return Add(tag, buf, attributes, false);
}

bool XMLAccumulator::AddElement(std::string_view tag, unsigned long long number,
                                const XMLAttributeMap* attributes) {
  char buf[32];
  snprintf(buf, sizeof buf, "%llu", number);
  return Add(tag, buf, attributes, false);
}

bool XMLAccumulator::AddAttribute(std::string_view name, std::string_view value) {
  XMLNode* current = Current();
  if (!current) return false;
  current->AppendChild(std::make_unique<XMLNode>(XMLNode::kAttribute, name))->SetValue(value);
  return true;
}

bool XMLAccumulator::AddAttribute(std::string_view name, int number) {
  char buf[32];
  snprintf(buf, sizeof buf, "%d", number);
  return AddAttribute(name, std::string_view(buf));
}

bool XMLAccumulator::AddAttribute(std::string_view name, unsigned number) {
  char buf[32];
  snprintf(buf, sizeof buf, "%u", number);
  return AddAttribute(name, std::string_view(buf));
}

bool XMLAccumulator::CloseElement() {
  if (stack_.empty()) return false;
  stack_.pop_back();
  return true;
}

bool XMLAccumulator::AddXML(std::string_view text) {
  XMLNode* current = Current();
  if (!current) return false;
  std::unique_ptr<XMLNode> parsed;
  if (XMLNode::Parse(text, &parsed, 0, nullptr, nullptr) != 0 || parsed->GetChildren().empty()) return false;
  current->AppendChild(parsed->GetChildren().front()->Clone());
  return true;
}

void XMLAccumulator::GetXML(std::string* out, int level) const {
  if (!document_) {
    out->clear();
    return;
  }
  document_->Serialize(out, level, false);
}
