// Process-wide values that live outside the server record.
#pragma once
#include <cstdint>
#include <string>

// Given a provider name and a don't-record flag, true when this is the
// provider's first start. The collector installs one; null in providers.
using FirstStartFunction = bool (*)(const char* providerName, bool dontRecord);

struct ProcessGlobals {
  char logFileName[100] = {};  // -l: at most 99 characters; empty = stderr
  uint32_t logSizeLimit = 0;   // -b (bytes); 0 = the log's default
  std::string moduleDirectory; // executable's folder, with its trailing "/"
  std::string applicationName; // first word after its last "/", or "UNKNOWN"
  FirstStartFunction firstStartFunction = nullptr;
};

ProcessGlobals& Globals();

// The folder of `path` up to and including its last "/" (or "\\"); a
// leading double quote is removed; empty when there is no separator.
std::string DirectoryOf(const std::string& path);
// The file name of `word` after its last "/" (or "\\"); "UNKNOWN" when empty.
std::string ApplicationNameOf(const std::string& word);
