#include "runtime/entry.h"

#include <clocale>
#include <cstdio>
#include <cstring>

#include "platform/files.h"
#include "platform/process_info.h"
#include "platform/signals.h"
#include "runtime/command_line.h"
#include "runtime/log.h"
#include "runtime/monitor_server.h"
#include "runtime/page_registry.h"
#include "runtime/process_globals.h"
#include "runtime/server_loop.h"
#include "runtime/start_thread.h"
#include "runtime/heartbeat.h"
#include "platform/socket.h"
#include "runtime/unicorn.h"

namespace {

// Uses the environment's character set when the process still runs in the
// "C" locale. Only LC_CTYPE changes: LC_NUMERIC stays "C" so that the
// log's "%f" always prints a decimal point.
void AdoptSystemCharacterSet() {
  const char* current = setlocale(LC_CTYPE, nullptr);
  if (current != nullptr && strcmp(current, "C") == 0) setlocale(LC_CTYPE, "");
}

// Creates the descriptor that signals and page signals wake the loop through
// and installs the signal handlers that write to it. Sockets need no library
// start on this platform; SocketStartup stays as the one place that would.
int InitializeServer(MonitorServer& server) {
  if (platform::SocketStartup() != 0) return -1;
  if (server.signals.signalEvent.Create() != 0 || server.signals.systemSignalWake.Create() != 0) return -1;
  return platform::InstallSignalHandlers(server.signals.systemSignalWake.Fd());
}

void LogStartup(const MonitorServer& server, const ProcessGlobals& globals) {
  Log(128, "App name is [%s]\n", globals.applicationName.c_str());
  Log(16, "Verbosity level is %04x\n", VerbosityMask());
  for (size_t i = 0; i < server.options.arguments.size(); ++i)
    Log(128, "Arg:%d,%s\n", static_cast<int>(i), server.options.arguments[i].c_str());
  if (globals.logSizeLimit != 0) Log(128, "Log rollover at %u\n", globals.logSizeLimit);
}

// Short helper threads (status reports) get a bounded time to finish
// before the pages they may use are deleted.
constexpr uint32_t kHelperThreadWaitMs = 3000;

void TearDown() {
  WaitForDetachedThreads(kHelperThreadWaitMs);
  CleanUpAllPages();
  platform::SocketCleanup();
  Unicorn::Release();
  platform::StopSignalWatcher();
  Log(16, "Shutdown...\n");
}

}  // namespace

int RunEntry(int argc, char** argv, const EntryHooks& hooks) {
  MonitorServer& server = TheServer();
  ProcessGlobals& globals = Globals();

  // Signal handlers only mark what arrived and wake the loop (the first
  // SIGTERM or SIGINT also sets "system shutdown pending"); they are
  // installed by InitializeServer, once the descriptor they wake exists.
  // Standard input and output need no binary mode here.
  AdoptSystemCharacterSet();
  globals.moduleDirectory = DirectoryOf(platform::ModuleFileName());
  if (InitializeServer(server) != 0) {
    fprintf(stderr, "Unable to initialize server\n");
    return 1;
  }
  // The application's post-option step (the collector's configuration-file
  // overrides) runs right after the scan; its result is the scan's.
  int rc = ScanCommandLine(argc, argv, server, globals);
  if (rc == 0) rc = ProviderPostOptions();
  if (rc != 0) return rc;

  // No -l name: the log goes to standard error.
  LogOpen(globals.logFileName[0] != '\0' ? globals.logFileName : nullptr, globals.logSizeLimit);
  const std::string firstWord = argc > 0 ? argv[0] : "";
  globals.applicationName = ApplicationNameOf(firstWord);
  LogStartup(server, globals);
  // The statistics files are named after the first word. The application's
  // initialization may change directory (the collector does), so a relative
  // first word is fixed against the start-up directory now.
  const std::string statsBase = platform::AbsolutePath(firstWord);

  if (hooks.registerStandardPages != nullptr && hooks.registerStandardPages() != 0) return 1;

  // Single instance: a second process with the same unique name ends here
  // with exit code 1 (unless -u); the name is held until the process ends.
  server.options.uniqueName = ProviderUniqueName();
  if (server.options.uniquenessRequested) {
    if (server.options.uniqueName.empty()) {
      Log(16, "Required Provider unique name not set!\n");
      return 1;
    }
    if (!Unicorn::TheOne(server.options.uniqueName)) return 1;
  } else {
    Log(32, "Uniqueness not requested\n");
  }

  // A failed application start still tears down and exits with 0; only the
  // server run is skipped.
  int initResult = ProviderInitialize();

  // Without -g a statistics file left by an earlier run is removed, so that
  // nobody reads stale counts.
  if (server.options.gatherStats) {
    Log(64, "Stats requested; registering stats page\n");
    if (hooks.registerStatsPage != nullptr && hooks.registerStatsPage(statsBase) != 0) {
      TearDown();
      return 1;
    }
  } else {
    Log(64, "Stats not requested\n");
    std::remove((statsBase + ".stats").c_str());
  }

  // Providers decide at once whether the collector should heartbeat them;
  // the collector heartbeats others, never itself.
  if (!server.isCollector) {
    StartHeartbeatTracking();
  }

  int result = initResult == 0 ? RunServer() : 0;  // 1 when the loop ended on an error

  TearDown();
  return result;
}
