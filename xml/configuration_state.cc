#include "xml/configuration_state.h"

#include <cstdio>

#include "xml/configuration_file.h"

namespace {

constexpr int kReadWaitSeconds = 5;
constexpr int kWriteWaitSeconds = 20;

std::string RuleKey(int number) {
  char buf[16];
  snprintf(buf, sizeof buf, "%d", number);
  return buf;
}

bool OpenForWrite(ConfigurationFile* file) {
  if (!file->OpenWrite(kWriteWaitSeconds)) return false;
  if (!file->GetRoot()) file->NewDocument();
  return true;
}

// state/rules/RULES, created when asked.
XMLNode* RulesSection(ConfigurationFile* file, std::string_view rulesName, bool create) {
  XMLNode* state = file->GetSection(file->GetRoot(), "state", create);
  XMLNode* rules = file->GetSection(state, "rules", create);
  return file->GetSection(rules, rulesName, create);
}

}  // namespace

bool ReadLast(const std::string& path, unsigned long* last) {
  ConfigurationFile file(nullptr, path);
  if (!file.OpenRead(kReadWaitSeconds)) return false;
  XMLNode* state = file.FindSection(file.GetRoot(), "state");
  return file.GetKeyUnsigned(file.FindSection(state, "configuration"), "last", last);
}

bool WriteLast(const std::string& path, unsigned long last) {
  ConfigurationFile file(nullptr, path);
  if (!OpenForWrite(&file)) return false;
  XMLNode* state = file.GetSection(file.GetRoot(), "state", true);
  file.SetKeyNumber(file.GetSection(state, "configuration", true), "last", last);
  return file.SaveCompact();
}

bool ReadRule(const std::string& path, std::string_view rulesName, int number, std::string* value) {
  ConfigurationFile file(nullptr, path);
  if (!file.OpenRead(kReadWaitSeconds)) return false;
  return file.GetKey(RulesSection(&file, rulesName, false), RuleKey(number), value);
}

bool WriteRule(const std::string& path, std::string_view rulesName, int number, std::string_view value) {
  ConfigurationFile file(nullptr, path);
  if (!OpenForWrite(&file)) return false;
  file.SetKey(RulesSection(&file, rulesName, true), RuleKey(number), value);
  return file.SaveCompact();
}

bool RemoveRule(const std::string& path, std::string_view rulesName, int number) {
  ConfigurationFile file(nullptr, path);
  if (!OpenForWrite(&file)) return false;
  bool removed = file.RemoveKey(RulesSection(&file, rulesName, false), RuleKey(number));
  return file.SaveCompact() && removed;
}

bool RemoveRules(const std::string& path, std::string_view rulesName) {
  ConfigurationFile file(nullptr, path);
  if (!OpenForWrite(&file)) return false;
  bool removed = file.RemoveSection(RulesSection(&file, rulesName, false));
  return file.SaveCompact() && removed;
}

bool ListRules(const std::string& path, std::string_view rulesName, std::vector<std::string>* names) {
  names->clear();
  ConfigurationFile file(nullptr, path);
  if (!file.OpenRead(kReadWaitSeconds)) return false;
  XMLNode* rules = RulesSection(&file, rulesName, false);
  file.ListKeyNames(rules, names);
  return rules != nullptr;
}
