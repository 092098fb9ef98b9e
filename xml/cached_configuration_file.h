// CachedConfigurationFile: a read-only view of the document that an open
// ConfigurationFile holds. It never opens, locks or writes a file. The owner
// must keep its document alive and unchanged while the view is used.
#pragma once
#include "xml/configuration_file.h"

class CachedConfigurationFile : public ConfigurationFile {
 public:
  explicit CachedConfigurationFile(const ConfigurationFile& source);

  bool IsClosed() const override { return true; }
  bool IsOpenForWrite() const override { return false; }
  bool OpenRead(int) override { return false; }
  bool OpenWrite(int) override { return false; }
  bool SaveCompact() override { return false; }
  bool SaveIndented() override { return false; }
};
