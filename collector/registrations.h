// Provider registration files: where they are looked for, their schema
// (startup/execute/provider/file), how each registration is tested, and the
// tables a load leaves for the inventory page.
//
// A load reads the five startup files (in table order, whether or not they
// exist), then every "*.velmora.provider.xml", then every "*.oem.xml" in the
// working directory (each pattern matched without regard to case, matches
// sorted by name without regard to case). The first registration of a port
// keeps it.
//
// Keys of the registration map: an accepted registration is stored under its
// port. Rejected registrations are stored under kRejectedKeyBase + 1, + 2...
// in the order they are met over the whole load, so they never collide with
// a port or with each other.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct CollectorOptions;

enum LoadCode : uint32_t {
  kLoadAccepted = 0,
  kLoadPortConflict = 1,  // also a port of 0 or above 65535: it cannot be reserved
  kLoadNotFound = 2,
  kLoadBlocked = 3,
};

struct ProviderRegistration {
  std::string name;
  std::string port;  // as written
  std::string verbosity;
  std::string logto;
  std::string logsize;
  std::string origin;  // the registration file
  bool noidle = false;
  bool stats = false;
  uint32_t loadCode = kLoadAccepted;
  uint32_t portNumber = 0;  // decimal reading of `port`; 0 when not a number
};

using RegistrationMap = std::map<uint32_t, ProviderRegistration>;
// Registration file name to 0 (well-formed) or 1 (malformed).
using ConfigFileStatus = std::map<std::string, uint32_t>;

constexpr uint32_t kRejectedKeyBase = 65536;

extern const char* const kStartupFileTable[5];

// The five startup names followed by the matches of both patterns.
std::vector<std::string> BuildRegistrationFileList();

// Reads one file into the maps. A missing file records nothing.
void ReadRegistrationFile(const std::string& fileName, const CollectorOptions& options, RegistrationMap* registrations,
                          ConfigFileStatus* status);

// Empties `status`, then reads every file of the list. The caller empties
// `registrations` first.
void LoadAllRegistrations(const CollectorOptions& options, RegistrationMap* registrations, ConfigFileStatus* status);

// True when `name` matches `pattern` ("*" any run, "?" one character)
// without regard to ASCII case.
bool MatchesNoCase(const char* pattern, const char* name);
