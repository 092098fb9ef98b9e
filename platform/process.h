// Processes the collector starts and watches: launching a provider detached
// from the collector, finding a process's parent, testing whether a process
// has ended and ending it.
//
// Children started here are recorded; each has a thread of its own blocked
// in waitpid on it, so an ended child is reaped at once and never stays a
// zombie. Nothing here waits for any other process (no waitpid(-1)).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// Starts `path` (never searched in PATH) with the argument words `argv`.
// The child gets a session of its own (setsid), nice +10, /dev/null on
// descriptors 0 to 2 and no other descriptor, an empty signal mask and
// default signal actions; between fork and exec it makes only
// async-signal-safe calls. An exec that fails is reported back through a
// close-on-exec pipe, so it counts as "not started". Returns the child's id,
// or -1 with *error holding the errno value.
long SpawnDetached(const std::string& path, const std::vector<std::string>& argv, int* error);

// True when `pid` is a child started by SpawnDetached that has ended.
bool ChildHasEnded(long pid);

// The parent's id from /proc/<pid>/stat (the field after the state, read
// after the command name's last ")"); 0 when there is no such process.
uint32_t ParentProcessId(uint32_t pid);

enum ExitProbe {
  kProcessRunning = 0,
  kProcessEnded = 1,    // ended (reaped here, or a zombie)
  kProcessGone = 2,     // no such process (also any id <= 1)
  kProcessUnknown = 3,  // it could not be tested; *error holds errno
};

// Our own children: waitpid(WNOHANG), which reaps an ended one. Any other
// process: kill(pid, 0), ESRCH meaning gone; a zombie counts as ended.
ExitProbe ProbeProcessExit(uint32_t pid, int* error);

// True while `pid` runs: a child started by SpawnDetached until its waiter
// has seen it end; any other process while kill(pid, 0) finds it (a zombie
// of another parent counts as running). Reads no file. False for ids <= 1.
bool ProcessIsRunning(uint32_t pid);

// SIGKILL. Refused (EINVAL) for any id <= 1. 0 on success, else -1 and
// *error.
int KillProcess(uint32_t pid, int* error);

}  // namespace platform
