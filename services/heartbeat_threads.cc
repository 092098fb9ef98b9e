#include "services/heartbeat_threads.h"

#include "collector/provider_metrics.h"
#include "platform/clock.h"
#include "platform/process.h"
#include "platform/process_info.h"
#include "runtime/log.h"
#include "runtime/provider_con.h"
#include "runtime/self_request.h"

namespace {

constexpr uint64_t kReapWaitMs = 5000;
constexpr int kReapPollMs = 10;

}  // namespace

std::string RecoveryCommand(uint32_t port) {
  std::string command = "/heartbeat/monitor?";
  command += "recover";
  command += "=1&";
  command += "target";
  command += "=";
  command += std::to_string(port);
  return command;
}

bool EndHungProvider(const char* name, uint32_t pid) {
  const uint32_t self = static_cast<uint32_t>(platform::ProcessId());
  if (pid <= 1 || platform::ParentProcessId(pid) != self) {
    Log(2, "Hung provider %s (pid %u) is not a child of the collector; not ended\n", name, pid);
    return false;
  }
  int error = 0;
  if (platform::KillProcess(pid, &error) != 0) return false;
  Log(2, "Hung provider %s (pid %u) ended\n", name, pid);
  // The child's waiter reaps it; the relaunch must not race its exit.
  const uint64_t deadline = platform::TickCountMs() + kReapWaitMs;
  while (platform::ProbeProcessExit(pid, &error) == platform::kProcessRunning) {
    if (platform::TickCountMs() >= deadline) return false;
    platform::SleepMs(kReapPollMs);
  }
  return true;
}

void SendHeartbeat(std::unique_ptr<CProviderCon> con, uint32_t pid) {
  con->SetVerb("get");
  con->SetHeaderTimeout(kHeartbeatAnswerSeconds);
  int status = con->requestDocument("/heartbeat", "", false, kHeartbeatReadSeconds);
  if (status == 200) {
    Log(4096, "Heartbeat request to %s acknowledged\n", con->Name());
    return;
  }
  Log(2, "Heartbeat request to %s failed!\n", con->Name());
  CountHeartbeatFailure(con->Name());
  // Only a heartbeat of our own that timed out ends the process: a hung
  // provider keeps its port, so the relaunch would otherwise find it
  // "running" and never start a new copy.
  if (con->HeadTimedOut() && pid != 0) EndHungProvider(con->Name(), pid);
  std::string command = RecoveryCommand(con->Port());
  int posted = InternalRequest("post", command.c_str(), "", nullptr);
  Log(4096, "Heartbeat Internal post rv is %d\n", posted);
}

void RecoveryLaunch(std::unique_ptr<CProviderCon> con) {
  Log(4096, "Begin RecoveryLaunch for %s:%d\n", con->Name(), static_cast<int>(con->Port()));
  con->SetVerb("get");
  con->SetHeaderTimeout(kHeartbeatAnswerSeconds);
  int status = con->requestDocument("/heartbeat", "", true, kHeartbeatReadSeconds);
  if (status == 200)
    Log(2, "RecoveryLaunch document request ok; recovery probably successful\n");
  else
    Log(2, "RecoveryLaunch document request fails w/code %d; recovery probably failed\n", status);
}
