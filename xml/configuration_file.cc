#include "xml/configuration_file.h"

#include "platform/whole_file.h"

ConfigurationFile::ConfigurationFile(const char* directory, std::string_view fileName)
    : store_(platform::JoinPath(directory ? directory : "", fileName)) {}

ConfigurationFile::~ConfigurationFile() { store_.Release(); }

bool ConfigurationFile::IsClosed() const { return !openForWrite_; }

bool ConfigurationFile::IsOpenForWrite() const { return openForWrite_; }

bool ConfigurationFile::Open(int waitSeconds, bool forWrite) {
  store_.Release();
  openForWrite_ = false;
  if (!store_.Acquire(waitSeconds)) return false;
  bool isNew = false;
  bool loaded = store_.Load(this, &isNew);
  if (!forWrite || !loaded) store_.Release();
  if (!loaded) return false;
  new_ = isNew;
  openForWrite_ = forWrite;
  return true;
}

bool ConfigurationFile::OpenRead(int waitSeconds) { return Open(waitSeconds, false); }

bool ConfigurationFile::OpenWrite(int waitSeconds) { return Open(waitSeconds, true); }

bool ConfigurationFile::Save(int level) {
  if (!openForWrite_) return false;
  openForWrite_ = false;
  return store_.Save(*this, level);
}

bool ConfigurationFile::SaveCompact() { return Save(-1); }

bool ConfigurationFile::SaveIndented() { return Save(1); }
