#include "runtime/entry.h"

#include <clocale>
#include <cstdio>
#include <cstring>

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

// Step 2: use the environment's character set when the process still runs in
// the "C" locale. Only LC_CTYPE changes: LC_NUMERIC stays "C" so that the
// log's "%f" always prints a decimal point.
void AdoptSystemCharacterSet() {
  const char* current = setlocale(LC_CTYPE, nullptr);
  if (current != nullptr && strcmp(current, "C") == 0) setlocale(LC_CTYPE, "");
}

// Step 5. Sockets need no library start on this platform; the call stays
// so the order of the start-up reads the same everywhere.
int InitializeServer(MonitorServer& server) {
  if (platform::SocketStartup() != 0) return -1;
  if (server.signalEvent.Create() != 0 || server.systemSignalWake.Create() != 0) return -1;
  return platform::InstallSignalHandlers(server.systemSignalWake.Fd());
}

void LogStartup(const MonitorServer& server, const ProcessGlobals& globals) {
  Log(128, "App name is [%s]\n", globals.applicationName.c_str());
  Log(16, "Verbosity level is %04x\n", VerbosityMask());
  for (size_t i = 0; i < server.arguments.size(); ++i)
    Log(128, "Arg:%d,%s\n", static_cast<int>(i), server.arguments[i].c_str());
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
  Log(16, "Shutdown...\n");
}

}  // namespace

int RunEntry(int argc, char** argv, const EntryHooks& hooks) {
  MonitorServer& server = TheServer();
  ProcessGlobals& globals = Globals();

  // 1. Signals only mark what arrived and wake the loop; the first SIGTERM
  //    or SIGINT also sets "system shutdown pending". Done in step 5 once
  //    the descriptor they wake exists.
  AdoptSystemCharacterSet();                                    // 2
  globals.moduleDirectory = DirectoryOf(platform::ModuleFileName());  // 3
  // 4. Standard input and output are binary already.
  if (InitializeServer(server) != 0) {                         // 5
    fprintf(stderr, "Unable to initialize server\n");
    return 1;
  }
  int rc = ScanCommandLine(argc, argv, server, globals);       // 6
  if (rc == 0) rc = ProviderPostOptions();
  if (rc != 0) return rc;

  LogOpen(globals.logFileName[0] != '\0' ? globals.logFileName : nullptr,  // 7
          globals.logSizeLimit);
  const std::string firstWord = argc > 0 ? argv[0] : "";
  globals.applicationName = ApplicationNameOf(firstWord);      // 8
  LogStartup(server, globals);

  if (hooks.registerStandardPages != nullptr && hooks.registerStandardPages() != 0) return 1;  // 9

  server.uniqueName = ProviderUniqueName();                    // 10
  if (server.uniquenessRequested) {                            // 11
    if (server.uniqueName.empty()) {
      Log(16, "Required Provider unique name not set!\n");
      return 1;
    }
    if (!Unicorn::TheOne(server.uniqueName)) return 1;
  } else {
    Log(32, "Uniqueness not requested\n");
  }

  int initResult = ProviderInitialize();                       // 12

  if (server.gatherStats) {                                    // 13
    Log(64, "Stats requested; registering stats page\n");
    if (hooks.registerStatsPage != nullptr && hooks.registerStatsPage(firstWord) != 0) {
      TearDown();
      return 1;
    }
  } else {
    Log(64, "Stats not requested\n");
    std::remove((firstWord + ".stats").c_str());
  }

  if (!server.isCollector) {                                   // 14
    StartHeartbeatTracking();
  }

  int result = initResult == 0 ? RunServer() : 0;              // 15

  TearDown();                                                  // 16
  return result;
}
