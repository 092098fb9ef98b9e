// The process-wide server record: flags from the command line, the listen
// socket and port, the page registry, the connection list, idle and
// heartbeat state, and the master-configuration cache. There is exactly one
// (TheServer()), constructed before the entry runs; session threads and
// pages reach it through that accessor.
//
// Flags that other threads write (the signal flags, lateInitFailed) are
// atomic; everything else is written on the main thread before the loop
// starts or by the loop thread alone.
#pragma once
#include <atomic>
#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/named_event.h"
#include "platform/wake_event.h"
#include "runtime/server_caches.h"

class ServedPage;
class URLParse;
class IOBase;
struct Connection;        // a session thread's record, owned by the loop

// Called (on a session thread) for a request whose path matches no page;
// returns the HTTP status it wrote. The query may be null.
using AlternatePageHandler = int (*)(IOBase* io, const char* verb, const char* path, const char* query,
                                     const char* const* headerNames, const char* const* headerValues);

struct MonitorServer {
  // Out of line: the connection list's records are complete only there.
  MonitorServer();
  ~MonitorServer();
  MonitorServer(const MonitorServer&) = delete;
  MonitorServer& operator=(const MonitorServer&) = delete;

  std::atomic<uint32_t> shutdownRequested{0};
  std::atomic<uint32_t> reconfigRequested{0};
  std::atomic<uint32_t> suggestShutdownRequested{0};
  std::atomic<uint32_t> lateInitFailed{0};
  AlternatePageHandler alternatePageHandler = nullptr;
  // Auto-reset, initially clear; set by every signal. On Linux the listen
  // socket itself is polled, so there is no separate listen event.
  platform::WakeEvent signalEvent;
  // Written by the operating-system signal handlers only (TakeSystemSignals).
  platform::WakeEvent systemSignalWake;
  platform::NamedEvent readyEvent;  // the parent's ready event, once opened
  uint32_t skipStdioPhase = 0;          // -c
  uint32_t tcpPhaseEnabled = 0;         // -p
  uint32_t oneShotRequested = 0;        // -o
  uint32_t oneShotOutputRequested = 0;  // -O
  uint32_t firstRun = 0;                // -f
  uint32_t crashRecovery = 0;           // -r
  int listenSocket = -1;
  uint16_t port = 0;  // 0 lets the system choose; the bound port afterwards
  std::list<std::unique_ptr<Connection>> connections;  // running sessions
  // A session's reads and writes give up after this long without progress
  // (VELMORA_SESSION_TIMEOUT, read when the server starts).
  uint32_t sessionTimeoutSeconds = 60;
  std::map<std::string, ServedPage*> pages;  // keyed by path, byte order
  bool isCollector = false;
  std::atomic<uint32_t> idleTimeoutSeconds{90};  // kDefaultIdleTimeoutSeconds  // 0 = never (-z)
  std::atomic<uint32_t> idleTimeoutOverridden{0};
  uint32_t idleSeconds = 0;
  bool readySignalRequested = false;  // -s
  std::atomic<bool> heartbeatActive{false};
  bool heartbeatEnabled = true;
  bool heartbeatTracking = false;
  uint32_t heartbeatIntervalMinutes = 0;  // 0 = not sent
  bool gatherStats = false;               // -g
  std::string readySignalArgument;        // stored, not used further
  std::vector<std::string> arguments;     // every command-line word
  std::string configDirectory;            // first word up to its last "/"
  std::string oneShotCommand;             // -o
  std::string oneShotOutputFile;          // -O
  // Built at the first alert-configuration lookup, under RulesetCacheLock().
  std::unique_ptr<RulesetCache> rulesetCache;
  std::atomic<bool> configBusy{false};
  // Loaded and used only on the loop thread while it walks the pages.
  std::unique_ptr<MasterConfigCache> masterConfigCache;
  std::string uniqueName;
  bool uniquenessRequested = true;  // -u clears it
  std::atomic<bool> lateInitDone{false};
  bool masterConfigCacheEnabled = false;
};

MonitorServer& TheServer();

// The port on 127.0.0.1 where the collector listens; providers send their
// status reports, wakeup requests and heartbeat registrations there.
constexpr uint16_t kCollectorPort = 21584;

// "No timer at all", in seconds.
constexpr uint32_t kNoTimerSeconds = 10000;

constexpr uint32_t kDefaultIdleTimeoutSeconds = 90;
