// ConfigurationFile: a Configuration bound to a file that is held under an
// exclusive open while it is read or changed, so that threads and processes
// updating one file take turns:
//
//   OpenWrite(20), change keys, SaveCompact() or SaveIndented();
//   OpenRead(5), read keys.
//
// OpenRead releases the file at once; OpenWrite keeps it held until a save
// (or the destructor). The file is created when missing; "new" tells that it
// was empty or missing when opened. See configuration_store.h for how saves
// replace the file and what happens to a stored text that does not parse.
#pragma once
#include <string>
#include <string_view>

#include "xml/configuration.h"
#include "xml/configuration_store.h"

class ConfigurationFile : public Configuration {
 public:
  // The path is the directory (or none) and the file name joined with "/".
  ConfigurationFile(const char* directory, std::string_view fileName);
  ~ConfigurationFile() override;

  // True unless open for writing.
  virtual bool IsClosed() const;
  virtual bool IsOpenForWrite() const;
  // Open and read the file, waiting up to waitSeconds for the exclusive open
  // (one attempt when below 1). False when it could not be opened.
  virtual bool OpenRead(int waitSeconds);
  virtual bool OpenWrite(int waitSeconds);
  // Only when open for writing: write the document as the file's whole new
  // content (compact, or at indentation level 1) and release the file.
  virtual bool SaveCompact();
  virtual bool SaveIndented();

  bool IsNew() const { return new_; }
  const std::string& Path() const { return store_.Path(); }
  // The last open found text that did not parse (kept until a save heals it).
  bool StoredTextUnparsed() const { return store_.StoredTextUnparsed(); }

 protected:
  // For views that never touch a file.
  ConfigurationFile() : store_(std::string()) {}

  bool Open(int waitSeconds, bool forWrite);
  bool Save(int level);

  ConfigurationStore store_;
  bool openForWrite_ = false;
  bool new_ = true;
};
