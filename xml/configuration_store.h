// ConfigurationStore: the file side of a configuration file, shared by
// ConfigurationFile and UnlockedConfigurationFile: the exclusive open, the
// read of the whole text into a Configuration, and the save.
//
// Saves replace the file atomically while it is still held (a temporary file
// in the same folder renamed over it), so a crash mid-write never leaves a
// truncated file and a waiting opener never overwrites a newer one.
//
// A stored text that does not parse leaves the configuration without a
// document. Saving without a document writes nothing, so the stored text
// stays. When the caller has given the configuration a new document
// (NewDocument or ParseText), the first save first keeps the stored text
// beside the file as NAME + ".bad" and then writes the new document: the file
// heals and nothing is lost.
#pragma once
#include <string>

#include "platform/exclusive_file.h"
#include "xml/configuration.h"

class ConfigurationStore {
 public:
  explicit ConfigurationStore(std::string path) : file_(std::move(path)) {}

  // Opens the file exclusively, retrying every 500 ms for up to waitSeconds
  // while someone else holds it (one attempt when waitSeconds < 1).
  bool Acquire(int waitSeconds) { return file_.Open(waitSeconds); }
  void Release() { file_.Close(); }
  bool IsHeld() const { return file_.IsOpen(); }

  // Reads the held file into config: an empty file gives a new empty
  // document (*isNew = true), other text its parse (*isNew = false).
  bool Load(Configuration* config, bool* isNew);

  // Writes config at `level` as the file's whole new content and releases
  // the file. False when nothing was written.
  bool Save(const Configuration& config, int level);

  const std::string& Path() const { return file_.Path(); }
  bool StoredTextUnparsed() const { return hasUnparsed_; }

 private:
  platform::ExclusiveFile file_;
  std::string unparsed_;
  bool hasUnparsed_ = false;
};
