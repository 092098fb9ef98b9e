// Process control for shutdown: a process's parent, whether a provider
// process has ended, and the sweep over every provider the collector
// started. Ids from outside (status posts) are never used to signal any id
// <= 1.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// The parent's id, or 0 when the process is not found.
uint32_t GetParentProcessId(uint32_t pid);

// True when the process has ended or no longer exists; false while it runs
// (also right after a kill was sent) or when it cannot be tested. With kill,
// a running process is sent SIGKILL.
bool ProcessHasExited(uint32_t pid, bool kill);

// One provider as the sweep sees it: its last reported process id (decimal
// text; empty = none) and whether it is known to be finished with.
struct SweepRecord {
  std::string name;
  std::string lastpid;
  bool done = false;
};

// For each record not done, in the order given: a process whose parent is
// this collector is tested (and, with kill, killed) and marked done once it
// has ended; any other id (reused, started elsewhere, none) is skipped and
// marked done. True when every child has ended.
bool SweepProviders(std::vector<SweepRecord>* records, bool kill);
