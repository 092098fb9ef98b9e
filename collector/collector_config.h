// The collector configuration file "collectorconfig.xml": collector-wide
// options that replace the command line's, and per-provider overrides.
//
// It is looked for first in the system configuration folder (the variable
// VELMORA_SYSTEM_CONFIG_DIR, else /etc/velmora/), then in the module
// directory. The first copy that is not empty is used, even when its text
// does not parse (then nothing is applied and the next place is not tried);
// a used copy is never rewritten or deleted. An empty copy (which the open
// itself creates when the file is missing) is deleted afterwards.
//
// The file is read during option scanning, before the log is open; the
// outcome is kept and written to the log later by LogCollectorConfigOutcome.
#pragma once
#include <map>
#include <string>

struct ProviderOverride {
  std::string verbosity;  // empty when not given
  std::string logto;
  std::string logsize;
  bool block = false;
};

// Keyed by provider name, compared exactly.
using OverrideMap = std::map<std::string, ProviderOverride>;

struct CollectorOptions {
  OverrideMap overrides;
  std::string logAll;              // "logallproviders"; empty when not set
  bool heartbeatsEnabled = true;   // cleared by "noheartbeat"
  // What the read found, for the log: the path used (empty when none) and
  // whether its text parsed.
  std::string usedPath;
  bool usedParsed = false;
};

// The collector's one set of options, filled once before the loop starts.
CollectorOptions& TheCollectorOptions();

// The verbosity every provider gets when "logallproviders" is set (the
// fifteen low mask bits); the log line about it reports the same value.
constexpr const char* kLogAllVerbosity = "32767";

// Reads the file from the two places and applies it (the post-option step).
// `systemDirectory` and `moduleDirectory` are the two folders. Returns 0.
int ReadCollectorConfig(const std::string& systemDirectory, const std::string& moduleDirectory);

// The system configuration folder: VELMORA_SYSTEM_CONFIG_DIR when set and
// not empty, else "/etc/velmora/".
std::string SystemConfigDirectory();

// Logs what ReadCollectorConfig found (level 2).
void LogCollectorConfigOutcome();
