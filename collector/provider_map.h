// The provider map: which provider serves which page. It owns one
// connection record (CProviderCon) per provider, filled from each
// provider's answer to the collector's index request, and one page record
// per page path.
//
// Every operation takes the map's lock ("providermap"), waiting at most
// 60 s; when the wait fails the operation does nothing and a lookup finds
// nothing. Records are never removed while the collector runs, so the
// connection handed out by findProviderForPage stays valid outside the
// lock; its state and shutdown-sent flag are atomic.
//
// Choices:
//   - addProvider for a name already present keeps the existing record (no
//     second connection is built); pages new in the reply refer to it, and
//     its state follows the new reply.
//   - A path of 260 characters or more is not found.
//   - Two providers naming one page path: the first added keeps it.
#pragma once
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "platform/timed_mutex.h"
#include "runtime/provider_con.h"

class XMLNode;

constexpr std::chrono::milliseconds kProviderMapLockWait{60000};

enum ProviderState : uint32_t {
  kProviderLoading = 0,
  kProviderReady = 1,
  kProviderError = 2,
  kProviderVersionMismatch = 3,
};

// The interface version a provider's index reply must carry, exactly.
constexpr const char* kProviderInterfaceVersion = "1.2.0.1";

struct ProviderPage {
  std::string path;
  std::string iconID;
  std::string linkID;
  uint32_t priority = 0;
  bool metadata = false;
  CProviderCon* provider = nullptr;  // owned by the map
};

using ProviderCopies = std::map<std::string, std::unique_ptr<CProviderCon>>;

class ProviderMap {
 public:
  // The collector's one map.
  static ProviderMap& Instance();

  ProviderMap() = default;
  ProviderMap(const ProviderMap&) = delete;
  ProviderMap& operator=(const ProviderMap&) = delete;

  // Adds a provider from its index reply; *versionMatched tells whether the
  // reply carried kProviderInterfaceVersion. A status report that arrived
  // earlier is applied now.
  void addProvider(const char* name, const char* port, const char* verbosity, const char* logto, bool stats,
                   std::string_view reply, const char* logsize, bool noidle, bool* versionMatched);

  // A provider's status report; kept for later when it is not in the map.
  void reportProviderReady(const char* name);
  void reportProviderError(const char* name);

  // Fills *out with a new copy of every provider's record, by name. The
  // shutdown form then marks every record in the map as sent a shutdown.
  void copyProviders(ProviderCopies* out);
  void copyProvidersForShutdown(ProviderCopies* out);

  // The provider serving `path`: the page record whose path is `path` or
  // the longest prefix of it ending before a "/".
  bool findProviderName(const char* path, std::string* name);
  bool findProviderForPage(const char* path, CProviderCon** provider);
  // The same search, but the provider's state and a private copy of its
  // record are taken under the lock, so that a status report or a reload
  // landing meanwhile cannot be half seen.
  bool copyProviderForPage(const char* path, std::unique_ptr<CProviderCon>* copy, uint32_t* state);

  // Calls visit for each page record in path order, under the lock.
  void ForEachPage(const std::function<void(const ProviderPage&)>& visit);

 private:
  bool Lock();
  void Unlock() { mutex_.unlock(); }
  void ReportStatus(const char* name, bool ready);
  // With the lock held.
  CProviderCon* NewProvider(const char* name, const char* port, const char* verbosity, const char* logto, bool stats,
                            std::string_view reply, const char* logsize, bool noidle, bool* versionMatched);
  bool setProviderState(const char* name, uint32_t state);
  void addPageFromXML(XMLNode* page, CProviderCon* provider);
  ProviderPage* FindPageRecord(const char* path);

  platform::TimedMutex mutex_;
  std::map<std::string, std::unique_ptr<CProviderCon>> providers_;
  std::map<std::string, std::unique_ptr<ProviderPage>> pages_;
  std::map<std::string, bool> deferred_;  // name to true (ready) or false (error)
};
