#include "collector/registrations.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>

#include "collector/collector_config.h"
#include "collector/xml_input.h"
#include "runtime/log.h"

const char* const kStartupFileTable[5] = {
    "velmora.provider.collector.startup.xml",      "velmora.provider.vmas.collector.startup.xml",
    "velmora.provider.core.collector.startup.xml", "oem.provider.collector.startup.xml",
    "oem.provider.core.collector.startup.xml",
};

namespace {

constexpr uint32_t kMaxPort = 65535;

bool LessNoCase(const std::string& a, const std::string& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return tolower(static_cast<unsigned char>(x)) < tolower(static_cast<unsigned char>(y));
  });
}

// Names of the working directory's entries matching `pattern`, sorted.
std::vector<std::string> Search(const char* pattern) {
  std::vector<std::string> found;
  std::error_code error;
  for (std::filesystem::directory_iterator it(".", error), end; !error && it != end; it.increment(error)) {
    std::string name = it->path().filename().string();
    if (MatchesNoCase(pattern, name.c_str())) found.push_back(name);
  }
  std::sort(found.begin(), found.end(), LessNoCase);
  return found;
}

bool Exists(const std::string& name) {
  std::error_code error;
  return std::filesystem::exists(name, error);
}

// The attribute's value; false when the element has none.
bool Attribute(XMLNode* element, const char* name, std::string* value) {
  XMLNode* attribute = nullptr;
  if (element->FindAttribute(&attribute, name) != 0 || attribute == nullptr) return false;
  *value = attribute->GetValue();
  return true;
}

bool NonZero(const std::string& text) { return strtol(text.c_str(), nullptr, 10) != 0; }

void Reject(ProviderRegistration registration, uint32_t code, RegistrationMap* registrations) {
  registration.loadCode = code;
  uint32_t key = kRejectedKeyBase + 1;
  if (!registrations->empty() && registrations->rbegin()->first >= kRejectedKeyBase)
    key = registrations->rbegin()->first + 1;
  (*registrations)[key] = std::move(registration);
}

void ReadFileElement(XMLNode* element, const std::string& origin, const CollectorOptions& options,
                     RegistrationMap* registrations) {
  ProviderRegistration r;
  if (!Attribute(element, "name", &r.name) || !Attribute(element, "port", &r.port)) return;
  Log(8, "Provider registration found for %s on port %s\n", r.name.c_str(), r.port.c_str());
  r.origin = origin;
  unsigned long port = strtoul(r.port.c_str(), nullptr, 10);
  r.portNumber = port > kMaxPort ? 0 : static_cast<uint32_t>(port);
  std::string value;
  if (Attribute(element, "verbosity", &r.verbosity)) Log(8, "Provider registration includes verbosity %s\n", r.verbosity.c_str());
  if (Attribute(element, "logto", &r.logto)) Log(8, "Provider registration includes logto %s\n", r.logto.c_str());
  if (Attribute(element, "stats", &value)) {
    Log(8, "Provider registration includes stats request\n");
    r.stats = NonZero(value);
  }
  if (Attribute(element, "logsize", &r.logsize)) Log(8, "Provider registration includes logsize request %s\n", r.logsize.c_str());
  if (Attribute(element, "noidle", &value)) {
    Log(8, "Provider registration includes noidle request\n");
    r.noidle = NonZero(value);
  }
  if (!Exists(r.name)) {
    Log(2, "Provider executable not found (%s)\n", r.name.c_str());
    Reject(std::move(r), kLoadNotFound, registrations);
    return;
  }
  auto override = options.overrides.find(r.name);
  if (override != options.overrides.end()) {
    const ProviderOverride& o = override->second;
    Log(8, "Found override information for %s\n", r.name.c_str());
    if (!o.verbosity.empty()) {
      r.verbosity = o.verbosity;
      Log(8, "Provider Verbosity override to %s\n", r.verbosity.c_str());
    }
    if (!o.logto.empty()) {
      r.logto = o.logto;
      Log(8, "Provider logto override to %s\n", r.logto.c_str());
    }
    if (!o.logsize.empty()) {
      r.logsize = o.logsize;
      Log(8, "Provider logsize override to %s\n", r.logsize.c_str());
    }
    if (o.block) {
      Log(2, "Provider %s launch blocked by override\n", r.name.c_str());
      Reject(std::move(r), kLoadBlocked, registrations);
      return;
    }
  }
  if (!options.logAll.empty()) {
    r.logto = r.name + ".log";
    Log(2, "Collector Option logall; logging to (%s) at level %s\n", r.logto.c_str(), kLogAllVerbosity);
    r.logsize = "1000000";
    r.verbosity = kLogAllVerbosity;
  }
  if (r.portNumber == 0) {
    Log(2, "Provider %s requests port %s, which cannot be used\n", r.name.c_str(), r.port.c_str());
    Reject(std::move(r), kLoadPortConflict, registrations);
    return;
  }
  auto holder = registrations->find(r.portNumber);
  if (holder == registrations->end()) {
    Log(8, "Provider %s reserves port %u\n", r.name.c_str(), r.portNumber);
    uint32_t key = r.portNumber;
    (*registrations)[key] = std::move(r);
    return;
  }
  Log(2, "Provider %s requests port %u already reserved for %s\n", r.name.c_str(), r.portNumber,
      holder->second.name.c_str());
  Reject(std::move(r), kLoadPortConflict, registrations);
}

}  // namespace

bool MatchesNoCase(const char* pattern, const char* name) {
  // Iterative wildcard match with one back-track point (the last "*").
  const char* star = nullptr;
  const char* resume = nullptr;
  while (*name != '\0') {
    if (*pattern == '*') {
      star = pattern++;
      resume = name;
    } else if (*pattern == '?' ||
               (*pattern != '\0' && tolower(static_cast<unsigned char>(*pattern)) ==
                                        tolower(static_cast<unsigned char>(*name)))) {
      ++pattern;
      ++name;
    } else if (star != nullptr) {
      pattern = star + 1;
      name = ++resume;
    } else {
      return false;
    }
  }
  while (*pattern == '*') ++pattern;
  return *pattern == '\0';
}

std::vector<std::string> BuildRegistrationFileList() {
  std::vector<std::string> list(std::begin(kStartupFileTable), std::end(kStartupFileTable));
  Log(4, "Searching for OEM configuration files\n");
  for (const char* pattern : {"*.velmora.provider.xml", "*.oem.xml"}) {
    for (std::string& name : Search(pattern)) {
      Log(4, "Found OEM configuration file %s\n", name.c_str());
      list.push_back(std::move(name));
    }
  }
  return list;
}

void ReadRegistrationFile(const std::string& fileName, const CollectorOptions& options, RegistrationMap* registrations,
                          ConfigFileStatus* status) {
  if (!Exists(fileName)) return;
  XMLDocument document = LoadXMLFile(fileName);
  XMLNode* provider = nullptr;
  if (document) document->FindChild(&provider, "startup", "execute", "provider");
  if (provider == nullptr) {
    Log(2, "Config file %s is malformed and will not be used\n", fileName.c_str());
    (*status)[fileName] = 1;
    return;
  }
  (*status)[fileName] = 0;
  for (XMLNode* child : provider->GetChildren()) {
    if (child->GetType() == XMLNode::kElement && XMLNamesEqual(child->GetName(), "file"))
      ReadFileElement(child, fileName, options, registrations);
  }
}

void LoadAllRegistrations(const CollectorOptions& options, RegistrationMap* registrations, ConfigFileStatus* status) {
  status->clear();
  for (const std::string& file : BuildRegistrationFileList()) {
    Log(4, "RequestProviderInventoryLoad processes file %s\n", file.c_str());
    ReadRegistrationFile(file, options, registrations, status);
  }
}
