// The process entry shared by every executable of the family. Each
// executable links one application, which supplies the hooks below; the
// page framework supplies EntryHooks and main().
#pragma once
#include <string>

// --- Application hooks (defined once per executable) -----------------------
// The name of this server's single-instance object; empty only with -u.
std::string ProviderUniqueName();
// Registers the application's pages and settings; 0 = run the server.
// A non-zero result still ends the process with exit code 0.
int ProviderInitialize();
// Runs right after option scanning (the collector applies its configuration
// file overrides here); its result is the scan's result, 0 to go on.
int ProviderPostOptions();

// --- Page framework hooks ---------------------------------------------------
struct EntryHooks {
  // Creates and registers the standard pages; 0 on success.
  int (*registerStandardPages)() = nullptr;
  // Creates and registers the statistics page (-g) for the first
  // command-line word, already made absolute; 0 on success.
  int (*registerStatsPage)(const std::string& firstWord) = nullptr;
};

// A process's whole life: prepare, scan the command line, open
// the log, register pages, enforce single-instance operation, initialize the
// application, run the server and tear down. Returns the exit code.
int RunEntry(int argc, char** argv, const EntryHooks& hooks);
