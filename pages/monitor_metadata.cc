#include "pages/monitor_metadata.h"

#include "xml/xml_accumulator.h"

namespace {

// A label element: its stringid, then the substitutions when there are any.
void WriteLabel(XMLAccumulator* xml, const char* tag, const std::string& stringid,
                const Substitutions& substitutions) {
  xml->OpenElement(tag);
  xml->AddElement("stringid", stringid);
  if (!substitutions.empty()) {
    xml->OpenElement("substitutions");
    for (const auto& [name, value] : substitutions) {
      xml->OpenElement("substitution");
      xml->AddAttribute("name", name);
      xml->AddAttribute("value", value);
      xml->CloseElement();
    }
    xml->CloseElement();
  }
  xml->CloseElement();
}

}  // namespace

void MonitoredThreshold::WriteXML(XMLAccumulator* xml) const {
  xml->OpenElement("monitoredthreshold");
  WriteLabel(xml, "monitoredthresholdlabel", stringid, substitutions);
  xml->AddElement("updateid", updateid);
  xml->AddElement("distancefromnominal", static_cast<int>(distancefromnominal));
  xml->CloseElement();
}

void MonitoredSensor::WriteXML(XMLAccumulator* xml) const {
  xml->OpenElement("monitoredsensor");
  WriteLabel(xml, "monitoredsensorlabel", stringid, substitutions);
  xml->AddElement("unitsid", unitsid);
  xml->AddElement("updatequalifier", updatequalifier);
  xml->AddElement("minvalue", static_cast<long>(minvalue));
  xml->AddElement("maxvalue", static_cast<long>(maxvalue));
  if (!interval.empty()) xml->AddElement("interval", interval);
  for (const MonitoredThreshold& threshold : thresholds) threshold.WriteXML(xml);
  xml->CloseElement();
}

void MonitoredClass::WriteXML(XMLAccumulator* xml) const {
  xml->OpenElement("monitoredclass");
  WriteLabel(xml, "monitoredclasslabel", stringid, substitutions);
  xml->AddElement("enable", enable);
  xml->AddElement("disable", disable);
  if (!interval.empty()) xml->AddElement("interval", interval);
  for (const MonitoredSensor& sensor : sensors) sensor.WriteXML(xml);
  xml->CloseElement();
}

void MonitorMetadata::WriteXML(XMLAccumulator* xml) const {
  xml->OpenElement("monitormetadata");
  for (const MonitoredClass& c : classes) c.WriteXML(xml);
  xml->CloseElement();
}
