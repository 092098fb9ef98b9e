#include "pages/provider_error_list.h"

#include "xml/xml_accumulator.h"

void ProviderError::WriteXML(XMLAccumulator* xml) const {
  xml->OpenElement("providererror");
  xml->AddElement("stringid", stringid);
  if (!parameters.empty()) {
    xml->OpenElement("parameters");
    for (const auto& [name, value] : parameters) xml->AddElement(name, value);
    xml->CloseElement();
  }
  xml->CloseElement();
}

void ProviderErrorList::WriteXML(XMLAccumulator* xml) const {
  if (postErrors.empty() && getErrors.empty()) return;
  xml->OpenElement("providererrorlist");
  if (!postErrors.empty()) {
    xml->OpenElement("posterrors");
    for (const ProviderError& e : postErrors) e.WriteXML(xml);
    xml->CloseElement();
  }
  if (!getErrors.empty()) {
    xml->OpenElement("geterrors");
    for (const ProviderError& e : getErrors) e.WriteXML(xml);
    xml->CloseElement();
  }
  xml->CloseElement();
}
