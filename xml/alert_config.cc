#include "xml/alert_config.h"

#include <cstdlib>
#include <memory>

#include "runtime/log.h"
#include "xml/xml_node.h"

namespace {

const char* YesNo(bool b) { return b ? "yes" : "no"; }

// The text of the child element `name`; false when there is no such child.
bool ChildText(XMLNode* parent, std::string_view name, std::string* text) {
  XMLNode* child = nullptr;
  if (parent->FindChild(&child, name) != 0) return false;
  *text = child->GetValue();
  return true;
}

XMLNode* AppendElement(XMLNode* parent, std::string_view name, std::string_view text = {}) {
  XMLNode* element = parent->AppendChild(std::make_unique<XMLNode>(XMLNode::kElement, name));
  if (!text.empty()) element->SetValue(text);
  return element;
}

void AppendAttribute(XMLNode* element, std::string_view name, std::string_view value) {
  element->AppendChild(std::make_unique<XMLNode>(XMLNode::kAttribute, name))->SetValue(value);
}

// Valid only when both "severity" and "set" are present.
bool ThresholdSpecification_Factory(XMLNode* element, ThresholdSpecification* limits) {
  std::string severity;
  bool hasSeverity = ChildText(element, "severity", &severity);
  bool hasSet = ChildText(element, "set", &limits->set);
  bool hasReset = ChildText(element, "reset", &limits->reset);
  Log(128, "ThresholdSpecification::ThresholdSpecification_Factory sev %s set %s reset %s\n", YesNo(hasSeverity),
      YesNo(hasSet), YesNo(hasReset));
  if (!hasSeverity || !hasSet) return false;
  limits->severity = static_cast<int32_t>(std::strtol(severity.c_str(), nullptr, 10));
  if (!hasReset) limits->reset = limits->set;
  return true;
}

// A parsed document's first child, when it is an element named `name`.
XMLNode* FirstChildNamed(XMLNode* document, std::string_view name) {
  if (document->GetChildren().empty()) return nullptr;
  XMLNode* first = document->GetChildren().front();
  if (first->GetType() != XMLNode::kElement || !XMLNamesEqual(first->GetName(), name)) return nullptr;
  return first;
}

}  // namespace

AlertConfig AlertConfig::AlertConfig_Factory(XMLNode* element, const std::string& id) {
  AlertConfig config;
  XMLNode* monid = nullptr;
  XMLNode* name = nullptr;
  if (element == nullptr || element->GetType() != XMLNode::kElement ||
      !XMLNamesEqual(element->GetName(), "alert_config")) {
    Log(128, "AlertConfig::AlertConfig_Factory alert config primary tag not found, returning invalid config\n");
    return config;
  }
  if (element->FindAttribute(&monid, "monid") != 0) {
    Log(128, "AlertConfig::AlertConfig_Factory alert config monid tag not found, returning invalid config\n");
    return config;
  }
  if (element->FindAttribute(&name, "name") != 0) {
    Log(128, "AlertConfig::AlertConfig_Factory alert config name tag not found, returning invalid config\n");
    return config;
  }
  config.id = id;
  config.monid = monid->GetValue();
  config.name = name->GetValue();
  std::string text;
  if (ChildText(element, "alert-id", &text) && !text.empty()) config.alertId = text;
  if (ChildText(element, "interval", &text) && !text.empty())
    config.interval = static_cast<uint32_t>(std::strtoul(text.c_str(), nullptr, 10));
  XMLNode* list = nullptr;
  if (element->FindChild(&list, "instances") == 0)
    for (XMLNode* child : list->GetChildren())
      if (child->GetType() == XMLNode::kElement && XMLNamesEqual(child->GetName(), "instance"))
        config.instances.emplace_back(child->GetValue());
  if (element->FindChild(&list, "thresholds") == 0)
    for (XMLNode* child : list->GetChildren()) {
      ThresholdSpecification limits;
      if (child->GetType() == XMLNode::kElement && XMLNamesEqual(child->GetName(), "threshold") &&
          ThresholdSpecification_Factory(child, &limits))
        config.thresholds.insert(std::move(limits));
    }
  XMLNode* provider = nullptr;
  if (element->FindChild(&provider, "provider") == 0) provider->Serialize(&config.provider, -1, false);
  Log(128, "AlertConfig::AlertConfig_Factory complete returning valid config\n");
  config.valid_ = true;
  return config;
}

void AlertConfig::AppendTo(XMLNode* parent) const {
  XMLNode* element = AppendElement(parent, "alert_config");
  AppendAttribute(element, "monid", monid);
  AppendAttribute(element, "name", name);
  AppendElement(element, "alert-id", alertId);
  AppendElement(element, "interval", std::to_string(interval));
  if (!instances.empty()) {
    XMLNode* list = AppendElement(element, "instances");
    for (const std::string& instance : instances) AppendElement(list, "instance", instance);
  }
  if (!thresholds.empty()) {
    XMLNode* list = AppendElement(element, "thresholds");
    for (const ThresholdSpecification& limits : thresholds) {
      XMLNode* threshold = AppendElement(list, "threshold");
      AppendElement(threshold, "severity", std::to_string(limits.severity));
      AppendElement(threshold, "set", limits.set);
      AppendElement(threshold, "reset", limits.reset);
    }
  }
  std::unique_ptr<XMLNode> parsed;
  if (!provider.empty() && XMLNode::Parse(provider, &parsed, 0, nullptr, nullptr) == 0)
    for (XMLNode* child : parsed->GetChildren()) element->AppendChild(child->Clone());
}

void AlertConfig::Serialize(std::string* out) const {
  XMLNode holder(XMLNode::kDocument);
  AppendTo(&holder);
  holder.GetChildren().front()->Serialize(out, -1, false);
}

void AlertConfigCollection::SerializeToText(std::string* out) const {
  XMLNode document(XMLNode::kDocument);
  XMLNode* root = AppendElement(&document, "alert_config_collection");
  std::string text;
  for (const AlertConfig& config : configs_) {
    config.Serialize(&text);
    AppendElement(root, "alert_config_collection_item", text);
  }
  root->Serialize(out, -1, false);
}

void AlertConfigCollection::SerializeInto(XMLNode* parent) const {
  XMLNode* root = AppendElement(parent, "alert_config_collection");
  for (const AlertConfig& config : configs_) config.AppendTo(AppendElement(root, "alert_config_collection_item"));
}

void AlertConfigCollection::UnserializeFromXML(std::string_view text) {
  Log(64, "AlertConfigCollection::UnserializeFromXML\n");
  configs_.clear();
  std::unique_ptr<XMLNode> document;
  if (text.empty() || XMLNode::Parse(text, &document, 0, nullptr, nullptr) != 0) {
    Log(128, "AlertConfigCollection::UnserializeFromXML xml data failed to parse [%.*s], empty result returned\n",
        static_cast<int>(text.size()), text.data());
    return;
  }
  XMLNode* root = nullptr;
  if (document->FindChild(&root, "alert_config_collection") != 0) {
    Log(128, "AlertConfigCollection::UnserializeFromXML collection tag not found, empty result returned\n");
    return;
  }
  for (XMLNode* item : root->GetChildren())
    if (item->GetType() == XMLNode::kElement && XMLNamesEqual(item->GetName(), "alert_config_collection_item"))
      UnserializeAnAlertConfig(item->GetValue());
  Log(64, "AlertConfigCollection::UnserializeFromXML completed\n");
}

void AlertConfigCollection::UnserializeAnAlertConfig(std::string_view text) {
  Log(64, "AlertConfigCollection::UnserializeAnAlertConfig\n");
  std::unique_ptr<XMLNode> document;
  if (XMLNode::Parse(text, &document, 0, nullptr, nullptr) != 0) {
    Log(128, "AlertConfigCollection::UnserializeAnAlertConfig xml data failed to parse [%.*s]\n",
        static_cast<int>(text.size()), text.data());
    return;
  }
  XMLNode* element = FirstChildNamed(document.get(), "alert_config");
  if (element == nullptr) return;
  AlertConfig config = AlertConfig::AlertConfig_Factory(element, "id.will.be.replaced");
  if (!config.IsValid()) return;
  configs_.push_back(std::move(config));
  Log(128, "AlertConfigCollection::UnserializeAnAlertConfig valid config found and added to collection\n");
}
