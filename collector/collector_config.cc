#include "collector/collector_config.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "runtime/log.h"
#include "runtime/monitor_server.h"
#include "runtime/process_globals.h"
#include "xml/configuration_file.h"

namespace {

constexpr const char* kConfigName = "collectorconfig.xml";
constexpr int kOpenWaitSeconds = 5;

void CopyCut(char* out, size_t size, const std::string& text) {
  size_t n = text.size() < size - 1 ? text.size() : size - 1;
  memcpy(out, text.data(), n);
  out[n] = '\0';
}

// Applies "commandlineoptions"; a "V" replaces *mask.
void ApplyOptions(ConfigurationFile& file, XMLNode* section, uint32_t* mask, CollectorOptions* options) {
  std::string text;
  if (file.GetKey(section, "V", &text)) *mask = static_cast<uint32_t>(strtoul(text.c_str(), nullptr, 0) & 0xFFFFu);
  if (file.GetKey(section, "l", &text)) CopyCut(Globals().logFileName, sizeof Globals().logFileName, text);
  if (file.GetKey(section, "b", &text))
    Globals().logSizeLimit = static_cast<uint32_t>(strtoul(text.c_str(), nullptr, 0)) * 1024u;
  long number = 0;
  if (file.GetKeySigned(section, "g", &number) && number != 0) TheServer().options.gatherStats = true;
  number = 0;
  if (file.GetKeySigned(section, "noheartbeat", &number) && number != 0) options->heartbeatsEnabled = false;
  if (file.GetKey(section, "logallproviders", &text)) options->logAll = text;
}

void ApplyOverrides(ConfigurationFile& file, XMLNode* section, CollectorOptions* options) {
  std::vector<std::string> names;
  file.ListSectionNames(section, &names);
  for (const std::string& name : names) {
    XMLNode* provider = file.FindSection(section, name);
    ProviderOverride entry;
    file.GetKey(provider, "verbosity", &entry.verbosity);
    file.GetKey(provider, "logto", &entry.logto);
    file.GetKey(provider, "logsize", &entry.logsize);
    long block = 0;
    file.GetKeySigned(provider, "block", &block);
    entry.block = block > 0;
    options->overrides[name] = entry;
  }
}

}  // namespace

CollectorOptions& TheCollectorOptions() {
  static CollectorOptions options;
  return options;
}

std::string SystemConfigDirectory() {
  const char* dir = getenv("VELMORA_SYSTEM_CONFIG_DIR");
  return dir != nullptr && dir[0] != '\0' ? dir : "/etc/velmora/";
}

int ReadCollectorConfig(const std::string& systemDirectory, const std::string& moduleDirectory) {
  CollectorOptions& options = TheCollectorOptions();
  options.usedPath.clear();
  options.usedParsed = false;
  uint32_t mask = VerbosityMask();
  SetVerbosityMask(0);
  std::vector<std::string> emptyCopies;
  std::unique_ptr<ConfigurationFile> used;
  for (const std::string* dir : {&systemDirectory, &moduleDirectory}) {
    auto file = std::make_unique<ConfigurationFile>(dir->c_str(), kConfigName);
    if (!file->OpenRead(kOpenWaitSeconds)) continue;
    if (file->IsNew()) {
      emptyCopies.push_back(file->Path());
      continue;
    }
    used = std::move(file);
    break;
  }
  if (used) {
    options.usedPath = used->Path();
    XMLNode* root = used->GetRoot();
    options.usedParsed = root != nullptr;
    if (XMLNode* section = used->FindSection(root, "commandlineoptions")) ApplyOptions(*used, section, &mask, &options);
    if (XMLNode* section = used->FindSection(root, "provideroverride")) ApplyOverrides(*used, section, &options);
  }
  SetVerbosityMask(mask);
  for (const std::string& path : emptyCopies) std::remove(path.c_str());
  return 0;
}

void LogCollectorConfigOutcome() {
  const CollectorOptions& options = TheCollectorOptions();
  if (options.usedPath.empty())
    Log(2, "No collector configuration found; command-line options in effect\n");
  else if (options.usedParsed)
    Log(2, "Collector configuration read from %s\n", options.usedPath.c_str());
  else
    Log(2, "Collector configuration %s does not parse; no options or overrides applied\n", options.usedPath.c_str());
}
