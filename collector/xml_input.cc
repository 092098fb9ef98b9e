#include "collector/xml_input.h"

XMLDocument ParseXMLText(std::string_view text) {
  XMLDocument document;
  if (XMLNode::Parse(text, &document, 0, nullptr, nullptr) != 0) document.reset();
  return document;
}

XMLDocument LoadXMLFile(const std::string& path) {
  XMLDocument document;
  if (XMLNode::LoadFile(path, &document, 0, nullptr) != 0) document.reset();
  return document;
}
