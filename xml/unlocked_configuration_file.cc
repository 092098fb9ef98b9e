#include "xml/unlocked_configuration_file.h"

#include "platform/whole_file.h"

UnlockedConfigurationFile::UnlockedConfigurationFile(const char* directory, std::string_view fileName)
    : store_(platform::JoinPath(directory ? directory : "", fileName)) {}

UnlockedConfigurationFile::~UnlockedConfigurationFile() { store_.Release(); }

bool UnlockedConfigurationFile::Open(bool keepOpen) {
  store_.Release();
  openForWrite_ = false;
  if (!store_.Acquire(0)) return false;
  bool isNew = false;
  bool loaded = store_.Load(this, &isNew);
  if (!keepOpen || !loaded) store_.Release();
  if (!loaded) return false;
  new_ = isNew;
  openForWrite_ = keepOpen;
  return true;
}

bool UnlockedConfigurationFile::Save(int level) {
  if (!openForWrite_) return false;
  openForWrite_ = false;
  return store_.Save(*this, level);
}

bool UnlockedConfigurationFile::SaveCompact() { return Save(-1); }

bool UnlockedConfigurationFile::SaveIndented() { return Save(1); }
