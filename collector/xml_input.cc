#include "collector/xml_input.h"

XMLDocument ParseXMLText(std::string_view text) {
  XMLNode* document = nullptr;
  int rc = XMLNode::Parse(text, &document, 0, nullptr, nullptr);
  XMLDocument owned(document);
  if (rc != 0) owned.reset();
  return owned;
}

XMLDocument LoadXMLFile(const std::string& path) {
  XMLNode* document = nullptr;
  int rc = XMLNode::LoadFile(path, &document, 0, nullptr);
  XMLDocument owned(document);
  if (rc != 0) owned.reset();
  return owned;
}
