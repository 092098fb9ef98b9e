#include "pages/stats_page.h"

#include "pages/page_stats.h"
#include "pages/server_statistics.h"
#include "platform/time_zone.h"
#include "runtime/log.h"
#include "runtime/monitor_server.h"
#include "runtime/response_writer.h"
#include "xml/configuration_file.h"
#include "xml/xml_accumulator.h"

namespace {
constexpr const char* kSaveItem = "saveprovstats";
constexpr uint32_t kSaveIntervalSeconds = 600;
constexpr int kReadWaitSeconds = 5;
constexpr int kWriteWaitSeconds = 20;
constexpr uint32_t kNoTimerBeforeShutdown = 10000;

uint32_t Now() { return static_cast<uint32_t>(platform::UnixTimeNow()); }

// later - earlier in seconds; 0 when the wall clock was stepped back.
uint32_t SecondsBetween(uint32_t earlier, uint32_t later) { return later > earlier ? later - earlier : 0; }
}  // namespace

StatsPage::StatsPage(const std::string& firstWord)
    : MonitorPage("/stats", true), file_(firstWord + ".stats"), created_(Now()), lastWrite_(created_) {}

uint32_t StatsPage::Initialize() {
  reloadStats();
  AddMonitoredItem(kSaveItem, "provider statistics save", kSaveIntervalSeconds, true, false, nullptr);
  return 0;
}

void StatsPage::CleanUp() {
  if (loaded_) writeStats();
}

void StatsPage::reloadStats() {
  Log(64, "StatsPage::reloadStats from %s\n", file_.c_str());
  loaded_ = true;
  ConfigurationFile file(nullptr, file_);
  if (file.OpenRead(kReadWaitSeconds)) TheServerStatistics().Load(file, file.GetRoot());
}

void StatsPage::writeStats() {
  Log(64, "StatsPage::writeStats to %s\n", file_.c_str());
  const uint32_t now = Now();
  TheServerStatistics().AddResidentTime(SecondsBetween(lastWrite_, now));
  ConfigurationFile file(nullptr, file_);
  bool isNew = false;
  if (!OpenStatisticsForWrite(&file, kWriteWaitSeconds, &isNew)) return;
  TheServerStatistics().Save(&file, file.GetRoot(), isNew, SecondsBetween(created_, now));
  if (file.SaveIndented()) lastWrite_ = now;
}

uint32_t StatsPage::ResidentSeconds() const { return SecondsBetween(created_, Now()); }

int StatsPage::Get(IOBase* io, const char*, const char*, const char* const*, const char* const*, int, int) {
  Log(64, "StatsPage::Get\n");
  XMLAccumulator xml;
  TheServerStatistics().WriteXML(&xml, ResidentSeconds());
  ThePageStats().WriteXML(&xml);
  std::string body;
  xml.GetXML(&body, -1);
  SendResponse(io, kStatus200, body.data(), static_cast<uint32_t>(body.size()), nullptr, nullptr);
  return 200;
}

int StatsPage::Post(IOBase* io, const char*, const char*, const char* const*, const char* const*, int, int) {
  SendResponse(io, kStatus400, "", 0, nullptr, nullptr);
  return 400;
}

void StatsPage::MonitorNow(uint32_t count, const std::string* itemIds) {
  for (uint32_t i = 0; i < count; ++i)
    if (itemIds[i] == kSaveItem) writeStats();
}

uint32_t StatsPage::SecondsToNextTimer() {
  if (TheServer().signals.suggestShutdownRequested) return kNoTimerBeforeShutdown;
  return MonitorPage::SecondsToNextTimer();
}
