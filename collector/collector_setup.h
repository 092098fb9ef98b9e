// What makes a server the collector: its unique name, its initialization
// (working directory, the collector flag, the routing of provider pages, the
// first-start function and the provider launch, its pages) and its post-option step (the collector
// configuration file).
#pragma once
#include <cstddef>

class ServedPage;

constexpr const char* kCollectorUniqueName = "Velmora provider collector";

// One collector page: its path, its hidden flag and how it is built. A row
// without a factory is skipped (its page is not part of this build yet).
struct CollectorPageRow {
  const char* path;
  bool hidden;
  ServedPage* (*create)(const char* path, bool hidden);
};

// Creates and registers each row's page in order, each right after it is
// built; stops at the first page that cannot be built or registered (the
// later rows are never built) and returns 1. 0 when all are registered.
int RegisterCollectorPages(const CollectorPageRow* rows, size_t count);

// The collector's initialization. Changes to the configuration directory
// (the folder of the first command-line word; the executable's folder when
// that word has none), logs it, marks the server as the collector, installs
// the routing to providers, the first-start check, the provider launch and
// the shutdown of the providers (shutdown page and first SIGTERM/SIGINT),
// logs what the collector configuration read found, hangs the service
// manager's reports on the loop when it asked for them, and registers the
// pages. 0 on success, 1 when a page failed.
int CollectorInitialize(const CollectorPageRow* rows, size_t count);

// The post-option step: takes the service manager's variables out of the
// environment and reads the collector configuration file. 0.
int CollectorPostOptions();
