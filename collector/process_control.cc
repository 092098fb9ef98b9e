#include "collector/process_control.h"

#include <cstdlib>

#include "platform/process.h"
#include "platform/process_info.h"
#include "runtime/log.h"

uint32_t GetParentProcessId(uint32_t pid) { return platform::ParentProcessId(pid); }

bool ProcessHasExited(uint32_t pid, bool kill) {
  int error = 0;
  switch (platform::ProbeProcessExit(pid, &error)) {
    case platform::kProcessGone:
      Log(1, "    invalid parameter; apparently process is already gone\n");
      return true;
    case platform::kProcessUnknown:
      Log(1, "Open Process failed w/code %u\n", static_cast<unsigned>(error));
      return false;
    case platform::kProcessEnded:
      Log(1, "    process has exited normally\n");
      return true;
    case platform::kProcessRunning:
      break;
  }
  Log(1, "    process is still running\n");
  if (kill) {
    Log(1, "    sending KILL signal to process %u\n", pid);
    if (platform::KillProcess(pid, &error) == 0)
      Log(1, "    TerminateProcess returns success TEST_KILLSUCCEEDS\n");
    else
      Log(1, "    sending KILL signal to process %u failed w/code %lx\n", pid, static_cast<unsigned long>(error));
  }
  return false;
}

bool SweepProviders(std::vector<SweepRecord>* records, bool kill) {
  bool allEnded = true;
  const uint32_t self = static_cast<uint32_t>(platform::ProcessId());
  for (SweepRecord& record : *records) {
    if (record.done) continue;
    uint32_t pid = static_cast<uint32_t>(strtoul(record.lastpid.c_str(), nullptr, 10));
    uint32_t parent = GetParentProcessId(pid);
    if (pid > 1 && parent == self) {
      Log(1, "Waiting for PID %u (%s) to exit\n", pid, record.name.c_str());
      if (ProcessHasExited(pid, kill))
        record.done = true;
      else
        allEnded = false;
    } else {
      record.done = true;
      Log(1, "Skipping PID %u(%s), didn't match parent process PID:%u expected: %u\n", pid, record.name.c_str(),
          parent, self);
    }
  }
  return allEnded;
}
