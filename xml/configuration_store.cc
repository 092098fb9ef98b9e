#include "xml/configuration_store.h"

#include "platform/whole_file.h"
#include "runtime/log.h"

bool ConfigurationStore::Load(Configuration* config, bool* isNew) {
  std::string text;
  if (!file_.ReadAll(&text)) return false;
  hasUnparsed_ = false;
  unparsed_.clear();
  if (text.empty()) {
    config->NewDocument();
    *isNew = true;
    return true;
  }
  *isNew = false;
  if (!config->ParseText(text)) {
    Log(32, "ConfigurationFile::Open %s does not parse\n", Path().c_str());
    hasUnparsed_ = true;
    unparsed_ = std::move(text);
  }
  return true;
}

bool ConfigurationStore::Save(const Configuration& config, int level) {
  bool saved = false;
  if (file_.IsOpen() && config.GetRoot()) {
    bool keptBad = true;
    if (hasUnparsed_) {
      int error = 0;
      keptBad = platform::ReplaceWholeFile(Path() + ".bad", unparsed_, &error) == platform::kFileOk;
      if (keptBad) {
        Log(32, "ConfigurationFile::Save kept the unreadable text of %s as %s.bad\n", Path().c_str(),
            Path().c_str());
        hasUnparsed_ = false;
        unparsed_.clear();
      }
    }
    if (keptBad) {
      std::string text;
      config.GetRoot()->Serialize(&text, level, false);
      saved = file_.ReplaceContents(text);
    }
  }
  file_.Close();
  return saved;
}
