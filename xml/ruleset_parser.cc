#include "xml/ruleset_parser.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "runtime/log.h"

namespace {

constexpr char kRulesetSuffix[] = ".ruleset.xml";
constexpr char kDefaultAgentRoot[] = "/opt/velmora/shared/";

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

bool IsRulesetFile(const std::string& name) {
  constexpr size_t kSuffixLength = sizeof kRulesetSuffix - 1;
  return name.size() >= kSuffixLength && Lower(name).compare(name.size() - kSuffixLength, kSuffixLength,
                                                             kRulesetSuffix) == 0;
}

// The "*.ruleset.xml" files of the directory, sorted by name ignoring case.
std::vector<std::string> RulesetFiles(const std::string& directory) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(directory, error)) {
    std::string name = entry.path().filename().string();
    if (IsRulesetFile(name) && entry.is_regular_file(error)) names.push_back(std::move(name));
  }
  std::sort(names.begin(), names.end(),
            [](const std::string& a, const std::string& b) { return Lower(a) < Lower(b); });
  return names;
}

// The document must have a "ruleset" element with managed="1".
bool TagAndManage(XMLNode* document) {
  XMLNode* ruleset = nullptr;
  if (document->FindChild(&ruleset, "ruleset") != 0) {
    Log(128, "RulesetParser; ruleset reject, lacking ruleset tag\n");
    return false;
  }
  Log(128, "RulesetParser; ruleset tag found\n");
  XMLNode* managed = nullptr;
  if (ruleset->FindAttribute(&managed, "managed") != 0) {
    Log(128, "RulesetParser; ruleset reject, managed attribute not found\n");
    return false;
  }
  if (std::strtol(std::string(managed->GetValue()).c_str(), nullptr, 10) != 1) {
    Log(128, "RulesetParser; ruleset reject, managed attribute not equal to 1\n");
    return false;
  }
  return true;
}

}  // namespace

bool AgentRootDirectory(std::string* root) {
  const char* configured = std::getenv("VELMORA_AGENT_ROOT");
  *root = configured != nullptr && *configured != '\0' ? configured : kDefaultAgentRoot;
  if (root->back() != '/') root->push_back('/');
  return root->size() <= kMaxAgentRootLength;
}

bool AlertDirectory(std::string* directory) {
  if (!AgentRootDirectory(directory)) return false;
  *directory += "qrsroot/alert";
  return true;
}

RulesetParser::RulesetParser(bool load) {
  std::string directory;
  if (!load || !AlertDirectory(&directory)) return;
  for (const std::string& name : RulesetFiles(directory)) {
    std::string path = directory + "/" + name;
    Log(128, "Found ruleset file %s\n", path.c_str());
    AddFile(path);
  }
}

int RulesetParser::AddFile(const std::string& path) {
  Log(128, "RulesetParser::AddFile %s\n", path.c_str());
  std::unique_ptr<XMLNode> document;
  const char* error = "";
  if (XMLNode::LoadFile(path, &document, XMLNode::kDropWhitespaceText, &error) != 0) {
    Log(128, "RulesetParser::AddFile %s failed to parse! (%s)\n", path.c_str(), error);
    return 0;
  }
  return AddRuleset(std::move(document), path);
}

int RulesetParser::AddText(std::string_view text) {
  Log(128, "RulesetParser::AddFile %s\n", "");
  std::unique_ptr<XMLNode> document;
  const char* error = "";
  if (XMLNode::Parse(text, &document, XMLNode::kDropWhitespaceText, &error, nullptr) != 0) {
    Log(128, "RulesetParser::AddFile %s failed to parse! (%s)\n", "", error);
    return 0;
  }
  return AddRuleset(std::move(document), std::string());
}

int RulesetParser::AddRuleset(std::unique_ptr<XMLNode> document, const std::string& path) {
  Log(128, "RulesetParser::AddRuleset\n");
  if (!TagAndManage(document.get())) {
    Log(128, "RulesetParser::AddRuleset rejected by TagAndManage\n");
    return 0;
  }
  std::lock_guard<std::mutex> hold(lock_);
  XMLNode* configs = nullptr;
  document->FindChild(&configs, "ruleset", "alert_configs");
  rulesets_.push_back(Ruleset{path, std::move(document)});
  if (configs == nullptr) {
    Log(128, "RulesetParser; no alert configs tag found\n");
    return 0;
  }
  int filed = 0;
  for (XMLNode* alertId : configs->GetChildren()) {
    XMLNode* name = nullptr;
    if (alertId->GetType() != XMLNode::kElement || !XMLNamesEqual(alertId->GetName(), "alert_id") ||
        alertId->FindAttribute(&name, "name") != 0)
      continue;
    const std::string id(name->GetValue());
    Log(128, "RulesetParser; found alert id %s\n", id.c_str());
    for (XMLNode* config : alertId->GetChildren()) {
      if (config->GetType() != XMLNode::kElement || !XMLNamesEqual(config->GetName(), "alert_config")) continue;
      byAlertId_.emplace(id, config);
      Log(128, "RulesetParser; located & saved alert config for id %s\n", id.c_str());
      ++filed;
    }
  }
  return filed;
}

void RulesetParser::Lookup(const std::string& alertId, AlertConfigCollection* result) const {
  std::lock_guard<std::mutex> hold(lock_);
  auto [first, last] = byAlertId_.equal_range(alertId);
  for (auto it = first; it != last; ++it) {
    AlertConfig config = AlertConfig::AlertConfig_Factory(it->second, alertId);
    if (config.IsValid()) result->Add(std::move(config));
  }
}

size_t RulesetParser::RulesetCount() const {
  std::lock_guard<std::mutex> hold(lock_);
  return rulesets_.size();
}
