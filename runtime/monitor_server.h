// The process-wide server record, in parts: the command-line options, the
// signals to the loop, the sockets and sessions, the idle and heartbeat
// state, the configuration caches, and the page registry. There is exactly
// one (TheServer()), built on first use and never destroyed; session
// threads and pages reach it through that accessor.
//
// Fields that other threads write are atomic; everything else is written
// on the main thread before the loop starts or by the loop thread alone.
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
class IOSocket;
struct Connection;        // a session thread's record, owned by the loop

// Called (on a session thread) for a request whose path matches no page;
// returns the HTTP status it wrote. The query may be null.
using AlternatePageHandler = int (*)(IOBase* io, const char* verb, const char* path, const char* query,
                                     const char* const* headerNames, const char* const* headerValues);
// Called on the loop thread first, for such a request whose head has
// arrived: true when it took the connection over (moving `io` out) to
// answer it without a session thread of its own; false leaves the request
// to the alternate page handler on a session thread.
using AlternateLoopStart = bool (*)(std::unique_ptr<IOSocket>& io, const URLParse& request);

// Settings from the command line (and the collector's configuration file),
// fixed before the server runs.
struct ServerOptions {
  bool skipStdioPhase = false;          // -c
  bool tcpPhaseEnabled = false;         // -p
  bool oneShotRequested = false;        // -o
  bool oneShotOutputRequested = false;  // -O
  bool firstRun = false;                // -f: started by the collector's first load
  bool crashRecovery = false;           // -r: relaunched after a failed heartbeat
  bool readySignalRequested = false;    // -s
  bool gatherStats = false;             // -g
  bool uniquenessRequested = true;      // -u clears it
  std::string readySignalArgument;      // stored, not used further
  std::vector<std::string> arguments;   // every command-line word
  std::string configDirectory;          // first word up to its last "/"
  std::string oneShotCommand;           // -o
  std::string oneShotOutputFile;        // -O
  std::string uniqueName;               // the single-instance name
};

// Requests to the loop. Any thread may raise one (RaiseServerSignal); the
// loop reads them when signalEvent wakes it. Shutdown and suggested
// shutdown stay set once raised; the reconfiguration clears its flag.
struct ServerSignals {
  std::atomic<bool> shutdownRequested{false};
  std::atomic<bool> reconfigRequested{false};
  std::atomic<bool> suggestShutdownRequested{false};
  // Auto-reset, initially clear; set by every raised signal. On Linux the
  // listen socket itself is polled, so there is no separate listen event.
  platform::WakeEvent signalEvent;
  // Written by the operating-system signal handlers only (TakeSystemSignals).
  platform::WakeEvent systemSignalWake;
};

// The listen socket and the connections served on session threads. The
// loop thread owns them all; a session thread owns only its socket.
struct ServerSockets {
  int listenSocket = -1;
  uint16_t port = 0;                // 0 lets the system choose; the bound port afterwards
  platform::NamedEvent readyEvent;  // the parent's ready event, once opened
  std::list<std::unique_ptr<Connection>> connections;  // sessions, until the loop cleans them
  // A session's reads and writes give up after this long without progress
  // (VELMORA_SESSION_TIMEOUT, read when the server starts).
  uint32_t sessionTimeoutSeconds = 60;
};

// The idle exit: a provider with no connections whose pages are all idle
// ends after idleTimeoutSeconds (0 = never, -z). Pages may change the
// time-out at run time (SetIdleTimeout), hence the atomics.
struct IdleState {
  std::atomic<uint32_t> idleTimeoutSeconds{90};  // kDefaultIdleTimeoutSeconds
  std::atomic<bool> idleTimeoutOverridden{false};
  uint32_t idleSeconds = 0;  // loop thread only
};

// Heartbeat registration with the collector while a page's timers call
// for it.
struct HeartbeatState {
  std::atomic<bool> heartbeatActive{false};
  bool heartbeatEnabled = true;
  bool heartbeatTracking = false;
  uint32_t heartbeatIntervalMinutes = 0;  // 0 = not sent
};

// The master configuration shared while the loop walks the pages (a
// reconfiguration, the late initialization), and the ruleset object.
struct ConfigCaches {
  // Built at the first alert-configuration lookup, under RulesetCacheLock().
  std::unique_ptr<RulesetCache> rulesetCache;
  std::atomic<bool> configBusy{false};
  // Loaded and used only on the loop thread while it walks the pages.
  std::unique_ptr<MasterConfigCache> masterConfigCache;
  bool masterConfigCacheEnabled = false;
};

struct MonitorServer {
  // Out of line: the connection list's records are complete only there.
  MonitorServer();
  ~MonitorServer();
  MonitorServer(const MonitorServer&) = delete;
  MonitorServer& operator=(const MonitorServer&) = delete;

  ServerOptions options;
  ServerSignals signals;
  ServerSockets sockets;
  IdleState idle;
  HeartbeatState heartbeat;
  ConfigCaches caches;
  // Pages keyed by path, compared byte for byte; filled before the loop
  // starts and only read afterwards (page_registry.h). The registry owns them.
  std::map<std::string, std::unique_ptr<ServedPage>> pages;
  AlternatePageHandler alternatePageHandler = nullptr;  // the collector's routing
  AlternateLoopStart alternateLoopStart = nullptr;      // and its start on the loop thread
  bool isCollector = false;
  std::atomic<bool> lateInitDone{false};
  std::atomic<bool> lateInitFailed{false};
};

MonitorServer& TheServer();

// The port on 127.0.0.1 where the collector listens; providers send their
// status reports, wakeup requests and heartbeat registrations there.
constexpr uint16_t kCollectorPort = 21584;

// "No timer at all", in seconds.
constexpr uint32_t kNoTimerSeconds = 10000;

constexpr uint32_t kDefaultIdleTimeoutSeconds = 90;
