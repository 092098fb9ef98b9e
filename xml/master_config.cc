#include "xml/master_config.h"

#include <cstdlib>

#include "runtime/log.h"

namespace {

XMLNode* RootElement(const Configuration& config) {
  XMLNode* document = config.GetRoot();
  if (document == nullptr) return nullptr;
  for (XMLNode* child : document->GetChildren())
    if (child->GetType() == XMLNode::kElement) return child;
  return nullptr;
}

XMLNode* Identity(const Configuration& config) {
  XMLNode* root = RootElement(config);
  XMLNode* identity = nullptr;
  if (root != nullptr) root->FindChild(&identity, "identity");
  return identity;
}

XMLNode* Class(const Configuration& config, std::string_view className) {
  XMLNode* root = RootElement(config);
  XMLNode* element = nullptr;
  if (root != nullptr) root->FindChild(&element, "monitoring-classes", className);
  return element;
}

// The "value" attribute of the child `name` of parent.
bool Value(XMLNode* parent, std::string_view name, std::string* text) {
  XMLNode* element = nullptr;
  XMLNode* value = nullptr;
  if (parent == nullptr || parent->FindChild(&element, name) != 0) return false;
  if (element->FindAttribute(&value, "value") != 0) return false;
  *text = value->GetValue();
  return true;
}

bool Number(XMLNode* parent, std::string_view name, unsigned long* number) {
  std::string text;
  if (!Value(parent, name, &text)) return false;
  *number = std::strtoul(text.c_str(), nullptr, 10);
  return true;
}

bool Flag(XMLNode* parent, std::string_view name, bool* flag) {
  unsigned long number = 0;
  if (!Number(parent, name, &number)) return false;
  *flag = number != 0;
  return true;
}

XMLNode* ChildOrNew(XMLNode* parent, std::string_view name) {
  XMLNode* child = nullptr;
  if (parent->FindChild(&child, name) == 0) return child;
  return parent->AppendChild(std::make_unique<XMLNode>(XMLNode::kElement, name));
}

}  // namespace

std::unique_ptr<ConfigurationFile> OpenMasterConfig(const std::string& directory, bool forUpdate) {
  auto config = std::make_unique<ConfigurationFile>(directory.c_str(), kMasterConfigFileName);
  bool opened = forUpdate ? config->OpenWrite(20) : config->OpenRead(5);
  if (!opened) Log(32, "Master configuration %s could not be opened\n", config->Path().c_str());
  return config;
}

bool ReadMasterConfigText(const std::string& directory, std::string* text) {
  text->clear();
  ConfigurationFile config(directory.c_str(), kMasterConfigFileName);
  if (!config.OpenRead(5) || config.GetRoot() == nullptr || config.GetRoot()->GetChildren().empty())
    return false;
  config.Serialize(text, false);
  return true;
}

bool ValidateMasterConfigText(std::string_view text) {
  Configuration config;
  if (!config.ParseText(text)) return false;
  std::string name, time;
  return MasterConfigName(config, &name) && MasterConfigTime(config, &time);
}

bool MasterConfigName(const Configuration& config, std::string* name) {
  return Value(Identity(config), "name", name);
}

bool MasterConfigDisplayName(const Configuration& config, std::string* displayName) {
  return Value(Identity(config), "displayName", displayName);
}

bool MasterConfigTime(const Configuration& config, std::string* time) {
  return Value(Identity(config), "time", time);
}

bool MasterConfigStatic(const Configuration& config, unsigned long* number) {
  return Number(Identity(config), "static", number);
}

bool MasterConfigModified(const Configuration& config, bool* modified) {
  XMLNode* identity = Identity(config);
  if (identity == nullptr) return false;
  if (!Flag(identity, "modified", modified)) *modified = false;
  return true;
}

bool SetMasterConfigModified(Configuration* config) {
  XMLNode* document = config->GetRoot();
  if (document == nullptr || config->IsBorrowed()) return false;
  XMLNode* root = RootElement(*config);
  if (root == nullptr) root = document->AppendChild(std::make_unique<XMLNode>(XMLNode::kElement, "masterconfig"));
  XMLNode* modified = ChildOrNew(ChildOrNew(root, "identity"), "modified");
  modified->GetOrCreateAttribute("value")->SetValue("1");
  return true;
}

bool MasterConfigClassInterval(const Configuration& config, std::string_view className, unsigned long* interval) {
  return Number(Class(config, className), "interval", interval);
}

bool MasterConfigClassEnabled(const Configuration& config, std::string_view className, bool* enabled) {
  return Flag(Class(config, className), "enabled", enabled);
}

bool MasterConfigClassWarningThreshold(const Configuration& config, std::string_view className,
                                       unsigned long* threshold) {
  return Number(Class(config, className), "warningThreshold", threshold);
}

bool MasterConfigClassCriticalThreshold(const Configuration& config, std::string_view className,
                                        unsigned long* threshold) {
  return Number(Class(config, className), "criticalThreshold", threshold);
}

bool MasterConfigClassServiceName(const Configuration& config, std::string_view className, unsigned index,
                                  std::string* serviceName) {
  return Value(Class(config, className), "serviceName" + std::to_string(index), serviceName);
}

bool MasterConfigClassOsLogFilter(const Configuration& config, std::string_view className, unsigned index,
                                  std::string* filter) {
  return Value(Class(config, className), "os-log-filter" + std::to_string(index), filter);
}
