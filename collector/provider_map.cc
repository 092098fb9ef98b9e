#include "collector/provider_map.h"

#include <cstdlib>
#include <cstring>

#include "collector/xml_input.h"
#include "runtime/log.h"

namespace {

constexpr size_t kPathBuffer = 260;

const char* Text(const char* s) { return s ? s : ""; }

void CopyCut(char* out, size_t size, const char* text) {
  size_t n = strnlen(text, size - 1);
  memcpy(out, text, n);
  out[n] = '\0';
}

std::string AttributeOf(XMLNode* element, const char* name, bool* present = nullptr) {
  XMLNode* attribute = nullptr;
  bool found = element->FindAttribute(&attribute, name) == 0 && attribute != nullptr;
  if (present) *present = found;
  return found ? std::string(attribute->GetValue()) : std::string();
}

}  // namespace

ProviderMap& ProviderMap::Instance() {
  static ProviderMap* map = new ProviderMap;  // used by detached threads until the process ends
  return *map;
}

bool ProviderMap::Lock() { return mutex_.try_lock_for(kProviderMapLockWait); }

void ProviderMap::addProvider(const char* name, const char* port, const char* verbosity, const char* logto,
                              bool stats, std::string_view reply, const char* logsize, bool noidle,
                              bool* versionMatched) {
  Log(4, "addProvider %s\n", Text(name));
  bool matched = false;
  bool applied = false;
  if (Lock()) {
    CProviderCon* provider = NewProvider(name, port, verbosity, logto, stats, reply, logsize, noidle, &matched);
    auto deferred = deferred_.find(Text(name));
    if (deferred != deferred_.end()) {
      uint32_t state = !deferred->second ? kProviderError : matched ? kProviderReady : kProviderVersionMismatch;
      provider->LaunchData().state.store(state);
      deferred_.erase(deferred);
      applied = true;
    }
    Unlock();
  }
  if (applied) Log(8, "Applied deferred status to provider %s\n", Text(name));
  if (versionMatched) *versionMatched = matched;
}

CProviderCon* ProviderMap::NewProvider(const char* name, const char* port, const char* verbosity, const char* logto,
                                       bool stats, std::string_view reply, const char* logsize, bool noidle,
                                       bool* versionMatched) {
  Log(4, "ProviderMap::NewProvider %s,%s,%s,%s,stats:%d\n", Text(name), Text(port), Text(verbosity), Text(logto),
      stats ? 1 : 0);
  Log(4, "ProviderMap::NewProvider %s\n", Text(name));
  std::unique_ptr<CProviderCon>& slot = providers_[Text(name)];
  if (!slot) {
    slot = std::make_unique<CProviderCon>();
    slot->SetMode(CProviderCon::kModeSocket);
    slot->SetName(Text(name));
    slot->SetPort(static_cast<uint32_t>(strtoul(Text(port), nullptr, 10)));
    ProviderLaunchData& data = slot->LaunchData();
    if (Text(verbosity)[0] != '\0') CopyCut(data.verbosity, sizeof data.verbosity, verbosity);
    if (Text(logto)[0] != '\0') CopyCut(data.logto, sizeof data.logto, logto);
    if (Text(logsize)[0] != '\0') CopyCut(data.logsize, sizeof data.logsize, logsize);
    data.stats = stats;
    data.noidle = noidle;
  }
  CProviderCon* provider = slot.get();
  *versionMatched = false;
  if (XMLDocument document = ParseXMLText(reply)) {
    XMLNode* top = nullptr;
    for (XMLNode* child : document->GetChildren()) {
      if (child->GetType() == XMLNode::kElement) {
        top = child;
        break;
      }
    }
    if (top != nullptr) {
      Log(8, "ProviderMap::NewProvider look for version attribute\n");
      bool hasVersion = false;
      std::string version = AttributeOf(top, "version", &hasVersion);
      if (hasVersion) {
        Log(8, "ProviderMap::NewProvider found version attribute %s\n", version.c_str());
        if (version == kProviderInterfaceVersion) {
          Log(8, "ProviderMap::NewProvider version attribute matches %s\n", version.c_str());
          *versionMatched = true;
        } else {
          Log(8, "ProviderMap::NewProvider version attribute %s DOES NOT MATCH %s\n", version.c_str(),
              kProviderInterfaceVersion);
        }
      }
      bool lateInitDone = false;
      AttributeOf(top, "lateinitdone", &lateInitDone);
      if (lateInitDone) provider->LaunchData().state.store(kProviderReady);
      for (XMLNode* child : top->GetChildren()) {
        if (child->GetType() == XMLNode::kElement && XMLNamesEqual(child->GetName(), "page"))
          addPageFromXML(child, provider);
      }
    }
  }
  if (!*versionMatched) {
    Log(8, "ProviderMap::NewProvider sets version error flag\n");
    provider->LaunchData().state.store(kProviderVersionMismatch);
  }
  provider->LaunchData().versionMatched = *versionMatched;
  return provider;
}

void ProviderMap::addPageFromXML(XMLNode* element, CProviderCon* provider) {
  Log(4, "ProviderMap::addPageFromXML\n");
  auto page = std::make_unique<ProviderPage>();
  page->provider = provider;
  page->path = AttributeOf(element, "path");
  page->linkID = AttributeOf(element, "linkID");
  page->iconID = AttributeOf(element, "iconID");
  page->metadata = AttributeOf(element, "metadata") == "y";
  std::string path = page->path;
  pages_.emplace(path, std::move(page));  // a path already present keeps its record
}

bool ProviderMap::setProviderState(const char* name, uint32_t state) {
  auto it = providers_.find(Text(name));
  if (it == providers_.end()) {
    Log(2, "ProviderMap::setProviderState Found no provider named %s\n", Text(name));
    return false;
  }
  it->second->LaunchData().state.store(state);
  return true;
}

void ProviderMap::ReportStatus(const char* name, bool ready) {
  bool deferred = false;
  if (!Lock()) return;
  if (!setProviderState(name, ready ? kProviderReady : kProviderError)) {
    deferred_[Text(name)] = ready;
    deferred = true;
  }
  Unlock();
  if (deferred && ready) Log(8, "Deferred ready status for provider %s\n", Text(name));
  if (deferred && !ready) Log(8, "Deferred error status for provider %s\n", Text(name));
}

void ProviderMap::reportProviderReady(const char* name) { ReportStatus(name, true); }

void ProviderMap::reportProviderError(const char* name) { ReportStatus(name, false); }

void ProviderMap::copyProviders(ProviderCopies* out) {
  if (!Lock()) return;
  for (auto& [name, provider] : providers_) (*out)[name] = std::make_unique<CProviderCon>(*provider);
  Unlock();
}

void ProviderMap::copyProvidersForShutdown(ProviderCopies* out) {
  if (!Lock()) return;
  for (auto& [name, provider] : providers_) (*out)[name] = std::make_unique<CProviderCon>(*provider);
  for (auto& entry : providers_) entry.second->LaunchData().shutdownSent.store(true);
  Unlock();
}

ProviderPage* ProviderMap::FindPageRecord(const char* path) {
  if (path == nullptr || strlen(path) >= kPathBuffer) return nullptr;
  std::string buffer = path;
  for (;;) {
    auto it = pages_.find(buffer);
    if (it != pages_.end() && it->second->provider != nullptr) return it->second.get();
    size_t slash = buffer.rfind('/');
    if (slash == std::string::npos) return nullptr;
    buffer.resize(slash);
  }
}

bool ProviderMap::findProviderName(const char* path, std::string* name) {
  Log(4, "findProviderName for page %s\n", Text(path));
  name->clear();
  bool found = false;
  if (Lock()) {
    if (ProviderPage* page = FindPageRecord(path)) {
      *name = page->provider->Name();
      found = true;
    }
    Unlock();
  }
  if (!found) {
    Log(8, "findProviderName for page %s failed!\n", Text(path));
    return false;
  }
  Log(8, "findProviderName for page %s is %s\n", Text(path), name->c_str());
  return true;
}

bool ProviderMap::findProviderForPage(const char* path, CProviderCon** provider) {
  *provider = nullptr;
  if (!Lock()) return false;
  if (ProviderPage* page = FindPageRecord(path)) *provider = page->provider;
  Unlock();
  return *provider != nullptr;
}

bool ProviderMap::copyProviderForPage(const char* path, std::unique_ptr<CProviderCon>* copy, uint32_t* state) {
  copy->reset();
  if (!Lock()) return false;
  if (ProviderPage* page = FindPageRecord(path)) {
    *copy = std::make_unique<CProviderCon>(*page->provider);
    *state = page->provider->LaunchData().state.load();
  }
  Unlock();
  return *copy != nullptr;
}

void ProviderMap::ForEachPage(const std::function<void(const ProviderPage&)>& visit) {
  if (!Lock()) return;
  for (auto& entry : pages_) visit(*entry.second);
  Unlock();
}
