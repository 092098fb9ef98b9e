#include "pages/page_stats.h"

#include <utility>
#include <vector>

#include "pages/server_statistics.h"
#include "xml/configuration_file.h"
#include "xml/xml_accumulator.h"

namespace {
constexpr int kWriteWaitSeconds = 20;
constexpr int kReadWaitSeconds = 5;

void LoadTimings(const Configuration& file, XMLNode* entry, const char* kind, PageStats::Timings* timings) {
  XMLNode* section = file.FindSection(entry, kind);
  unsigned long value = 0;
  if (file.GetKeyUnsigned(section, "count", &value)) timings->count = static_cast<uint32_t>(value);
  value = 0;
  if (file.GetKeyUnsigned(section, "sum", &value)) timings->sum = static_cast<uint32_t>(value);
}

void SaveTimings(Configuration* file, XMLNode* entry, const char* kind, const PageStats::Timings& timings) {
  XMLNode* section = file->GetSection(entry, kind, true);
  file->SetKeyNumber(section, "count", timings.count);
  file->SetKeyNumber(section, "sum", timings.sum);
}

void WriteTimings(XMLAccumulator* xml, const char* kind, const PageStats::Timings& timings) {
  xml->OpenElement(kind);
  xml->AddElement("count", static_cast<unsigned long>(timings.count));
  xml->AddElement("sum", static_cast<unsigned long>(timings.sum));
  xml->AddElement("avg", static_cast<unsigned long>(timings.count == 0 ? 0 : timings.sum / timings.count));
  xml->CloseElement();
}
}  // namespace

PageStats::~PageStats() = default;

void PageStats::SetFile(const std::string& executablePath) { file_ = executablePath + ".pagestats"; }

void PageStats::RecordRequest(const char* path, bool isPost, uint32_t milliseconds) {
  ConfigurationFile file(nullptr, file_);
  bool isNew = false;
  if (!OpenStatisticsForWrite(&file, kWriteWaitSeconds, &isNew)) return;
  Load(file, file.GetRoot());
  Timings& timings = isPost ? entries_[path].post : entries_[path].get;
  ++timings.count;
  timings.sum += milliseconds;
  Save(&file, file.GetRoot());
  file.SaveCompact();
}

void PageStats::Load(const Configuration& file, XMLNode* parent) {
  entries_.clear();
  std::vector<std::pair<std::string, XMLNode*>> sections;
  file.ListSections(parent, &sections);
  for (const auto& [name, section] : sections) {
    auto [at, added] = entries_.try_emplace(name);
    if (!added) continue;
    LoadTimings(file, section, "get", &at->second.get);
    LoadTimings(file, section, "post", &at->second.post);
  }
}

void PageStats::Save(Configuration* file, XMLNode* parent) const {
  // One pass over the document instead of a search per entry: the table
  // grows with every distinct path and is saved on every request.
  std::vector<std::pair<std::string, XMLNode*>> sections;
  file->ListSections(parent, &sections);
  std::map<std::string_view, XMLNode*> existing;
  for (const auto& [name, section] : sections) existing.try_emplace(name, section);
  for (const auto& [path, entry] : entries_) {
    auto found = existing.find(path);
    XMLNode* section = found != existing.end() ? found->second : file->CreateSection(parent, path);
    if (section == nullptr) return;
    SaveTimings(file, section, "get", entry.get);
    SaveTimings(file, section, "post", entry.post);
  }
}

void PageStats::WriteXML(XMLAccumulator* xml) const {
  ConfigurationFile file(nullptr, file_);
  if (!file.OpenRead(kReadWaitSeconds)) return;
  PageStats table(file_);
  table.Load(file, file.GetRoot());
  for (const auto& [path, entry] : table.entries_) {
    XMLAttributeMap attributes;
    attributes["name"] = path;
    xml->OpenElement("page", {}, &attributes);
    WriteTimings(xml, "get", entry.get);
    WriteTimings(xml, "post", entry.post);
    xml->CloseElement();
  }
}

PageStats& ThePageStats() {
  static PageStats* stats = new PageStats;  // outlives every session thread
  return *stats;
}

void RecordPageRequest(const char* path, bool isPost, uint32_t milliseconds) {
  PageStats fresh(ThePageStats().File());
  fresh.RecordRequest(path, isPost, milliseconds);
}
