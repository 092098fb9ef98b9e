// The collector's one way into the XML parser: registration files and index
// replies are read through these two calls, which hand back an owned
// document (null when the text or file does not parse).
#pragma once
#include <memory>
#include <string>
#include <string_view>

#include "xml/xml_node.h"

using XMLDocument = std::unique_ptr<XMLNode>;

XMLDocument ParseXMLText(std::string_view text);
XMLDocument LoadXMLFile(const std::string& path);
