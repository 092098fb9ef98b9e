#include "collector/collector_setup.h"

#include <filesystem>
#include <string>

#include "collector/collector_config.h"
#include "collector/provider_forward.h"
#include "collector/provider_launch.h"
#include "collector/provider_routing.h"
#include "collector/provider_shutdown.h"
#include "collector/service_notify_reports.h"
#include "collector/started_file.h"
#include "runtime/log.h"
#include "runtime/monitor_server.h"
#include "runtime/page_registry.h"
#include "runtime/process_globals.h"

int RegisterCollectorPages(const CollectorPageRow* rows, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    if (rows[i].create == nullptr) continue;
    if (!RegisterPage(rows[i].create(rows[i].path, rows[i].hidden))) return 1;
  }
  return 0;
}

int CollectorInitialize(const CollectorPageRow* rows, size_t count) {
  MonitorServer& server = TheServer();
  ProcessGlobals& globals = Globals();
  const std::string& directory = server.options.configDirectory.empty() ? globals.moduleDirectory : server.options.configDirectory;
  std::error_code error;
  std::filesystem::current_path(directory, error);  // a failed change is ignored
  std::string current = std::filesystem::current_path(error).string();
  Log(4, "Working Directory is %s\n", current.c_str());
  server.isCollector = true;
  InstallProviderRouting();
  InstallLoopForwarding();
  globals.firstStartFunction = CheckFirstStart;
  InstallProviderLaunch();
  InstallCollectorShutdown();
  LogCollectorConfigOutcome();
  InstallServiceManagerReports();
  return RegisterCollectorPages(rows, count);
}

int CollectorPostOptions() {
  // The earliest collector-only step: only the signal watcher runs yet, and
  // it never reads the environment.
  TakeServiceManagerEnvironment();
  return ReadCollectorConfig(SystemConfigDirectory(), Globals().moduleDirectory);
}
