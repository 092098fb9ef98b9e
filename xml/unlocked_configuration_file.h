// UnlockedConfigurationFile: a Configuration read from and written to a file
// without waiting for the exclusive open: Open makes one attempt and fails at
// once when another opener holds the file. Saves replace the file as
// ConfigurationFile's do.
#pragma once
#include <string>
#include <string_view>

#include "xml/configuration.h"
#include "xml/configuration_store.h"

class UnlockedConfigurationFile : public Configuration {
 public:
  UnlockedConfigurationFile(const char* directory, std::string_view fileName);
  ~UnlockedConfigurationFile() override;

  // Opens (creating the file when missing), reads and parses it; keeps it
  // held for a later save when keepOpen, else releases it at once.
  bool Open(bool keepOpen);
  // Only when kept open: write the document and release the file.
  bool SaveCompact();
  bool SaveIndented();

  bool IsOpenForWrite() const { return openForWrite_; }
  bool IsNew() const { return new_; }
  const std::string& Path() const { return store_.Path(); }

 private:
  bool Save(int level);

  ConfigurationStore store_;
  bool openForWrite_ = false;
  bool new_ = true;
};
