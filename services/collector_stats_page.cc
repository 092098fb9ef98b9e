#include "services/collector_stats_page.h"

#include <chrono>
#include <cstdio>
#include <string_view>

#include "collector/collector_statistics.h"
#include "collector/provider_map.h"
#include "pages/query_map.h"
#include "pages/server_statistics.h"
#include "runtime/log.h"
#include "runtime/monitor_server.h"
#include "runtime/provider_con.h"
#include "runtime/response_writer.h"
#include "xml/configuration_file.h"
#include "xml/xml_accumulator.h"

namespace {

constexpr const char* kSaveItem = "savestats";
constexpr uint32_t kSaveIntervalSeconds = 3600;
constexpr int kFileLockWaitSeconds = 20;
constexpr int kProviderReadTimeoutSeconds = 10;

int64_t WallSeconds() {
  return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

int Answer(IOBase* io, const char* status, int code, const std::string& body) {
  MonitorPage::SendResponse(io, status, body.data(), static_cast<uint32_t>(body.size()), nullptr, nullptr);
  return code;
}

}  // namespace

ServedPage* CollectorStatsPage::Create(const char* path, bool hidden) { return new CollectorStatsPage(path, hidden); }

std::string CollectorStatsPage::StatsFilePath() {
  const std::string& directory = TheServer().options.configDirectory;
  if (!directory.empty() && directory.front() == '/') return directory + kCollectorStatsFile;
  return kCollectorStatsFile;
}

uint32_t CollectorStatsPage::Initialize() {
  std::remove(StatsFilePath().c_str());  // a missing file is no error
  uint32_t result = 0;
  AddMonitoredItem(kSaveItem, kSaveItem, kSaveIntervalSeconds, true, true, &result);
  startTime_.store(WallSeconds());
  return 0;
}

void CollectorStatsPage::CleanUp() {
  if (startTime_.load() != 0) writeStats();
  MonitorPage::CleanUp();
}

void CollectorStatsPage::MonitorNow(uint32_t count, const std::string* itemIds) {
  for (uint32_t i = 0; i < count; ++i)
    if (itemIds[i] == kSaveItem) writeStats();
}

uint32_t CollectorStatsPage::CurrentResident() const {
  int64_t seconds = WallSeconds() - startTime_.load();
  return seconds > 0 ? static_cast<uint32_t>(seconds) : 0;
}

void CollectorStatsPage::writeStats() {
  Log(64, "CollectorStatsPage::writeStats()\n");
  const std::string path = StatsFilePath();
  ConfigurationFile file(nullptr, path);
  bool isNew = false;
  if (!OpenStatisticsForWrite(&file, kFileLockWaitSeconds, &isNew)) return;
  XMLNode* connections = file.GetSection(file.GetRoot(), "connections", true);
  if (connections == nullptr) return;  // the destructor releases the file
  TheServerStatistics().Save(&file, connections, isNew, CurrentResident());
  const CollectorStatistics& collector = TheCollectorStatistics();
  std::string name;
  std::string time;
  collector.GetConfig(&name, &time);
  file.SetKeyNumber(connections, "wakeups", collector.Wakeups());
  file.SetKey(connections, "configname", name);
  file.SetKey(connections, "configtime", time);
  file.SaveIndented();
}

int CollectorStatsPage::Get(IOBase* io, const char*, const char* query, const char* const*, const char* const*, int,
                            int) {
  if (QueryMap(query).Has("providers")) return getProviderStats(io);
  XMLAccumulator xml;
  xml.OpenElement("collectorstats");
  TheServerStatistics().WriteXML(&xml, CurrentResident());
  const CollectorStatistics& collector = TheCollectorStatistics();
  std::string name;
  std::string time;
  collector.GetConfig(&name, &time);
  xml.AddElement("wakeups", static_cast<unsigned long>(collector.Wakeups()));
  xml.AddElement("configname", name);
  xml.AddElement("configtime", time);
  xml.CloseElement();
  std::string body;
  xml.GetXML(&body, -1);
  return Answer(io, kStatus200, 200, body);
}

int CollectorStatsPage::getProviderStats(IOBase* io) {
  Log(4, "CollectorStatsPage::getProviderStats\n");
  ProviderCopies providers;
  ProviderMap::Instance().copyProviders(&providers);
  XMLAccumulator xml;
  xml.OpenElement("providerstats");
  for (const auto& [name, provider] : providers) {
    if (!provider->LaunchData().stats) {
      Log(8, "CollectorStatsPage::getProviderStats provider %s not keeping stats\n", name.c_str());
      continue;
    }
    Log(8, "CollectorStatsPage::getProviderStats requesting provider %s stats\n", name.c_str());
    provider->SetVerb("get");
    int status = provider->requestDocument("/stats", {}, true, kProviderReadTimeoutSeconds);
    if (status != 200)
      Log(8, "CollectorStatsPage::getProviderStats requesting provider %s stats failed code %u\n", name.c_str(),
          static_cast<unsigned>(status));
    // The element is written whatever the status: with the body received,
    // possibly none.
    const XMLAttributeMap attributes{{"name", name}};
    xml.AddElement("provider", std::string_view(provider->ResponseBody(), provider->ResponseBodyLength()),
                   &attributes);
  }
  xml.CloseElement();
  providers.clear();
  Log(4, "CollectorStatsPage::getProviderStats complete.\n");
  std::string body;
  xml.GetXML(&body, -1);
  return Answer(io, kStatus200, 200, body);
}

int CollectorStatsPage::Post(IOBase* io, const char*, const char*, const char* const*, const char* const*, int,
                             int) {
  return Answer(io, kStatus400, 400, std::string());
}

uint32_t CollectorStatsPage::WriteIndexEntry(XMLAccumulator* xml, const char* path) {
  WriteIndexEntryRow(xml, path, "collector", "ready");
  return 0;
}
