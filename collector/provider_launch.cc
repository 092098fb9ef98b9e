#include "collector/provider_launch.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>

#include "collector/launch_command.h"
#include "collector/provider_metrics.h"
#include "collector/relaunch_limit.h"
#include "platform/clock.h"
#include "platform/named_event.h"
#include "platform/process.h"
#include "platform/signals.h"
#include "platform/socket.h"
#include "platform/whole_file.h"
#include "runtime/log.h"
#include "runtime/process_globals.h"
#include "runtime/provider_con.h"

namespace {

constexpr int kReadyWaitMs = 30000;
constexpr int kWaitSliceMs = 100;
constexpr int kPortPollMs = 50;
constexpr size_t kCommandLineBuffer = 1024;
constexpr size_t kApplicationBuffer = 260;

// Launches under way, by port: a launcher whose own child ended keeps
// waiting while another launch of the port may still bring it up.
std::mutex inFlightMutex;
std::map<int, int> inFlight;

class InFlight {
 public:
  explicit InFlight(int port) : port_(port) {
    std::lock_guard<std::mutex> guard(inFlightMutex);
    ++inFlight[port_];
  }
  ~InFlight() {
    std::lock_guard<std::mutex> guard(inFlightMutex);
    if (--inFlight[port_] == 0) inFlight.erase(port_);
  }
  bool Alone() const {
    std::lock_guard<std::mutex> guard(inFlightMutex);
    return inFlight[port_] <= 1;
  }

 private:
  int port_;
};

bool PortAnswers(int port) {
  int fd = platform::CreateTcpSocket();
  if (fd == platform::kInvalidSocket) return false;
  int error = 0;
  bool connected = platform::ConnectLoopback(fd, static_cast<uint16_t>(port), 200, &error) == 0;
  platform::CloseSocket(fd);
  return connected;
}

// Waits for the ready datagram on the held name.
void WaitForReadySignal(const platform::NamedEvent& ready, long pid, const InFlight& launch) {
  const uint64_t deadline = platform::TickCountMs() + kReadyWaitMs;
  for (;;) {
    uint64_t now = platform::TickCountMs();
    if (now >= deadline) return;
    int slice = deadline - now < kWaitSliceMs ? static_cast<int>(deadline - now) : kWaitSliceMs;
    std::string message;
    int r = ready.WaitSignal(slice, &message);
    if (r < 0 || (r == 1 && message == "set")) return;
    if (platform::ChildHasEnded(pid) && launch.Alone()) return;
  }
}

// Another launcher holds the name: wait until the port answers.
void WaitForPort(int port) {
  const uint64_t deadline = platform::TickCountMs() + kReadyWaitMs;
  while (!PortAnswers(port) && platform::TickCountMs() < deadline) platform::SleepMs(kPortPollMs);
}

// Whole seconds since `start` (a monotonic counter reading): the duration is
// cut, not the two readings, so a launch of a few milliseconds that crosses
// a second boundary still took 0 seconds.
int64_t SecondsSince(int64_t start) { return (platform::MonotonicCounter() - start) / platform::kCounterFrequency; }

void NoteLaunchOutcome(const char* name, bool failed, bool crashRecovery) {
  if (TheRelaunchLimit().Note(name, failed || crashRecovery, platform::TickCountMs())) {
    Log(2, "Provider %s relaunched too often; giving up until started by hand\n", name);
    CountRelaunchLimitTrip();
  }
}

}  // namespace

bool DecideFirstStart(const CProviderCon& con) {
  FirstStartFunction firstStart = Globals().firstStartFunction;
  if (firstStart == nullptr) {
    Log(32, "No First Start Function found\n");
    return false;
  }
  if (con.LaunchData().crashRecovery) {
    Log(8192, "Crash Recovery; first start function skipped\n");
    return false;
  }
  bool first = firstStart(con.Name(), false);
  Log(8192, "First Start Function result is %s\n", first ? "true" : "false");
  return first;
}

int LaunchProvider(CProviderCon* con) {
  const char* name = con->Name();
  const int port = static_cast<int>(con->Port());
  if (platform::SystemShutdownPending()) {
    Log(128, "Provider %s start blocked due to pending system shutdown\n", name);
    return -1;
  }
  if (TheRelaunchLimit().GivenUp(name)) {
    Log(128, "Provider %s start refused; it relaunched too often\n", name);
    return -1;
  }
  Log(1024, "Attempting to start provider: %s (%d)\n", name, port);
  const int64_t start = platform::MonotonicCounter();
  if (name[0] == '\0') return 0;
  const char* providerPath = getenv("ENV_PROVIDER_PATH");
  bool firstStart = DecideFirstStart(*con);
  LaunchCommand command =
      BuildLaunchCommand(providerPath ? providerPath : "", name, port, con->LaunchData(), firstStart);
  if (port == 0) {
    Log(32, "WARNING: unable to start provider %s, no port specified\n", name);
    return 0;
  }
  Log(64, "Attempt to start with filename(%s) cmdLine(%s)\n", command.application.c_str(),
      command.commandLine.c_str());
  if (command.commandLine.size() >= kCommandLineBuffer || command.application.size() >= kApplicationBuffer) {
    // Cutting would start the provider with other options than those logged.
    Log(16, "Command line for provider %s is too long; not started\n", name);
    NoteLaunchOutcome(name, true, con->LaunchData().crashRecovery);
  } else {
    InFlight launch(port);
    char eventName[64];
    snprintf(eventName, sizeof eventName, "velmora.provider.accept.event.%d", port);
    Log(1024, "CreateEvent [%s]\n", eventName);
    platform::NamedEvent ready;
    bool holdsName = ready.Create(eventName) == 0;
    int error = 0;
    long pid = platform::SpawnDetached(command.application, SplitCommandLine(command.commandLine), &error);
    if (pid < 0) {
      char text[128];
      platform::ErrorText(error, text, sizeof text);
      Log(16, "Provider %s could not be started: %s\n", name, text);
    } else {
      CountProviderLaunch(name, con->LaunchData().crashRecovery);
      if (holdsName)
        WaitForReadySignal(ready, pid, launch);
      else
        WaitForPort(port);
    }
    ready.Close();
    // A copy that ended at the single-instance check while another serves
    // the port is no failure: the port answers.
    NoteLaunchOutcome(name, pid < 0 || !PortAnswers(port), con->LaunchData().crashRecovery);
    platform::SleepMs(1);
  }
  Log(128, "%s took %d seconds to startup\n", name, static_cast<int>(SecondsSince(start)));
  return 0;
}

void InstallProviderLaunch() { CProviderCon::SetStartHook(LaunchProvider); }
