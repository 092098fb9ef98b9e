// The collector's inventory page, "/inventory": it keeps a second collector
// out, loads the providers (registration files, one InventoryLoad thread per
// accepted registration, the provider map), keeps one status record per
// provider, answers the provider status list and the master monitoring
// configuration, and takes the commands posted to it:
//
//   clearmap=1                      reload the providers a second later
//   removestart=NAME                forget NAME's first start
//   reconfig=...                    reconfigure the providers
//   file=F&port=P&code=C[&verbosity=V&logto=L&stats=1&logsize=S&noidle=1]
//                                   map update, body = F's index reply
//   file=F&pid=N                    F's process id
//   file=F&provstatus=1|0           F's late initialization succeeded or failed
//
// Threads: commands (POST) run on the loop thread, one at a time; status
// requests (GET) on session threads. The records are read and written under
// the page lock; GETs work on a copy. The registrations belong to the loop
// thread; each load hands its thread a snapshot of them, so a reload can
// rebuild them while the previous load still walks its own.
//
// Choices:
//   - A map update whose file names a path ("/", "\\", "..") or nothing is
//     answered "400 Bad Request" and changes nothing: the name is what a
//     launch later runs.
//   - The reconfiguration body is only logged; the broadcast to the
//     providers is RequestReconfigKids.
//
// Shutdown: InitiateShutdown (the shutdown page's POST, or the collector's
// first SIGTERM/SIGINT, both on the loop thread) asks every provider to
// stop, then the page's timers decide when the collector stops:
//   "inventory.page.initiate.shutdown"  once, 1 s: arms the two below
//   "inventory.page.test.shutdown"      every 1 s: asks again (only logged
//                                       for providers already asked), and
//                                       stops the collector once every
//                                       provider process it started is gone
//   "inventory.page.final.shutdown"     once, 15 s: kills the providers
//                                       still running and stops it anyway
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "collector/registrations.h"
#include "pages/monitor_page.h"
#include "platform/named_event.h"

class QueryMap;

struct ProviderRecord {
  std::string response;  // load status text, or the index reply's status
  std::string port;
  std::string verbosity;
  std::string logto;
  std::string logsize;
  std::string lastpid;  // empty until the provider reports it
  std::string origin;   // the registration file
  bool stats = false;
  bool noidle = false;
  bool done = false;  // set by the shutdown sweep
  uint32_t state = 0;  // as the provider map's states
};

using ProviderRecords = std::map<std::string, ProviderRecord>;

constexpr const char* kCollectorUniqueEvent = "Velmora_Collector";
constexpr const char* kMasterConfigFile = "masterconfig.ruleset.monitor.xml";

class InventoryPage : public MonitorPage {
 public:
  InventoryPage(const char* path, bool hidden);
  // The collector page table's factory; the page made is TheInventoryPage().
  static ServedPage* Create(const char* path, bool hidden);

  // 0 when this is the only collector, 1 otherwise.
  uint32_t Initialize() override;
  void CleanUp() override;
  int Get(IOBase* io, const char* path, const char* query, const char* const* headerNames,
          const char* const* headerValues, int mode, int forked) override;
  uint32_t WriteIndexEntry(XMLAccumulator* xml, const char* path) override;
  int Post(IOBase* io, const char* path, const char* query, const char* const* headerNames,
           const char* const* headerValues, int mode, int forked) override;
  // GET on a session thread; POST on the loop thread.
  bool ForkOnRequest(const char* path, const char* query, const char* const* headerNames,
                     const char* const* headerValues, int kind) override;
  void OnShutdown() override {}
  void MonitorNow(uint32_t count, const std::string* itemIds) override;

  // Begins the collector's shutdown; only the first call acts.
  void InitiateShutdown();
  // Sends "/shutdown" to every provider not yet sent one.
  void ShutdownAllProviders();

  // A copy of the records, taken under the page lock.
  ProviderRecords SnapshotRecords();

 private:
  void LoadProviders();
  void ResetCacheProviderResponse();
  void MapUpdate(const QueryMap& query, const std::string& body);
  void PidUpdate(const std::string& file, const std::string& pid);
  void StatusUpdate(const std::string& file, const std::string& status);
  int AnswerStatusList(IOBase* io);
  int AnswerMasterConfig(IOBase* io);
  // The provider sweep over the records (marks them done); true when every
  // provider process the collector started has ended.
  bool SweepRecords(bool kill);

  platform::NamedEvent unique_;
  RegistrationMap registrations_;  // the loop thread's
  // Guarded by the page lock.
  ConfigFileStatus fileStatus_;
  ProviderRecords records_;
};

// The collector's inventory page once it has been made; null before.
InventoryPage* TheInventoryPage();

// The load status text of a registration's load code.
const char* LoadStatusText(uint32_t loadCode);
// The state text of a record ("loading", "ready", "error", "version
// mismatch"); empty for any other value.
const char* ProviderStateText(uint32_t state);
// The state a provider is shown in: "failed" once the relaunch limit has
// given up on it, else its record's state text.
const char* ProviderShownState(const std::string& name, uint32_t state);

// True when a provider name from a client may be used: not empty, and
// without "/", "\\" or "..", so that it names a file in the working folder.
bool IsSafeProviderName(const std::string& name);

// The thread one load starts with its own copy of the registrations: one
// InventoryLoad thread per accepted registration.
void RequestCachedProviderInventoryLoad(std::shared_ptr<const RegistrationMap> registrations);

// One provider's load: asks it for its index (launching it when needed)
// and posts the outcome to "/inventory" as a map update.
void InventoryLoad(const ProviderRegistration& registration);

// Thread body: asks every provider, a stopped one started, to reload the
// master configuration.
void RequestReconfigKids();
