#include "runtime/server_loop.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "platform/clock.h"
#include "platform/descriptor_limit.h"
#include "platform/poll_set.h"
#include "platform/signals.h"
#include "platform/socket.h"
#include "platform/std_streams.h"
#include "runtime/config_walk.h"
#include "runtime/dispatch.h"
#include "runtime/io_one_shot.h"
#include "runtime/io_stdio.h"
#include "runtime/late_init.h"
#include "runtime/loop_tasks.h"
#include "runtime/pending_requests.h"
#include "runtime/log.h"
#include "runtime/monitor_server.h"
#include "runtime/ready_signal.h"
#include "runtime/request_reader.h"
#include "runtime/served_page.h"
#include "runtime/server_signal.h"
#include "runtime/session.h"

namespace {

enum WaitResult : int {
  kAccept = 0,
  kTimeout = 1,
  kReconfig = 2,
  kShutdown = 3,
  kFailure = 4,
  kInterrupt = 5,
  kSuggestShutdown = 6,
};

// Connections that may wait for their request at once.
constexpr long kMaxPendingRequests = 1024;
// How long accepting pauses when descriptors or memory run out.
constexpr uint32_t kAcceptPauseMs = 100;
// Connections taken from the listen queue in one pass of the loop.
constexpr int kAcceptBatch = 64;
// How long the shutdown waits for sessions before it shuts their sockets.
constexpr uint64_t kSessionShutdownWaitMs = 10000;

// The loop's own state beside the server record.
struct LoopState {
  explicit LoopState(size_t pendingCapacity) : pending(pendingCapacity) {}
  PendingRequests pending;
  platform::PollSet poll;
  uint64_t acceptPausedUntilMs = 0;
  bool acceptExhausted = false;  // in a spell of accepts failing for resources
  // Timers and the idle count run on the millisecond clock, in whole
  // seconds, with the part of a second left over carried to the next time.
  uint64_t lastAdvanceMs = 0;  // the page timers were advanced up to here
  uint64_t idleSinceMs = 0;    // the last connection, request or session end
  bool sessionEnded = false;   // the wait ended for a session's completion
  bool timersArmed = false;    // a signal's handler ran and may have added timers
};

LoopHooks g_hooks;

// Poll indices of the fixed entries.
enum : size_t { kSignalIndex = 0, kSystemSignalIndex = 1, kCompletionIndex = 2, kListenIndex = 3 };

int SetupListenSocket(MonitorServer& server) {
  Log(128, "MonitorServer::SetupListenSocket\n");
  int fd = platform::CreateTcpSocket();
  if (fd == platform::kInvalidSocket) {
    Log(16, "Unable to create listen socket");
    return -1;
  }
  if (platform::SetReuseAddress(fd) != 0) Log(16, "setsockopt SO_REUSEADDR failed!\n");
  Log(1024, "MonitorServer::SetupListenSocket calls bind\n");
  if (platform::BindLoopback(fd, server.sockets.port) != 0) {
    Log(16, "Unable to bind to 127.0.0.1:%d\n", static_cast<int>(server.sockets.port));
    platform::CloseSocket(fd);
    return -1;
  }
  server.sockets.port = platform::LocalPort(fd);
  Log(1024, "Listen port bound to %d\n", static_cast<int>(server.sockets.port));
  platform::SetNonBlocking(fd, true);
  server.sockets.listenSocket = fd;
  return 0;
}

void ShutdownListenSocket(MonitorServer& server) {
  Log(64, "MonitorServer::ShutdownListenSocket");
  if (server.sockets.listenSocket == platform::kInvalidSocket) return;
  platform::ShutdownBoth(server.sockets.listenSocket);
  platform::CloseSocket(server.sockets.listenSocket);
  server.sockets.listenSocket = platform::kInvalidSocket;
  Log(1024, "listen socket closed");
}

int SignalResult(MonitorServer& server) {
  Log(128, "Got Event+1\n");
  if (server.signals.shutdownRequested) {
    Log(64, "Got Event+1 (shutdown)\n");
    return kShutdown;
  }
  if (server.signals.reconfigRequested) {
    Log(64, "Got Event+1 (reconfig)\n");
    return kReconfig;
  }
  if (server.signals.suggestShutdownRequested) {
    Log(64, "Got Event+1 (suggestshutdown)\n");
    return kSuggestShutdown;
  }
  // A wake whose signal was already taken in the pass before (it landed
  // between the clearing of the wake and the taking of the bits): nothing
  // to do, and no failure either.
  Log(128, "Got Event+1 (already handled)\n");
  return kInterrupt;
}

// The event wait. The lowest ready index wins: signals before connections
// before session completions; connections whose request is still arriving
// are looked at after the wait, whatever won it.
int InternalSelect(MonitorServer& server, LoopState& state, uint64_t waitUntilMs) {
  Log(1024, "Enter InternalSelect\n");
  Log(1024, "WindowsInternalSelect\n");
  const uint64_t now = platform::TickCountMs();
  const bool acceptPaused = now < state.acceptPausedUntilMs;
  platform::PollSet& poll = state.poll;
  poll.Clear();
  poll.Add(server.signals.signalEvent.Fd());
  poll.Add(server.signals.systemSignalWake.Fd());
  poll.Add(SessionCompletionEvent().Fd());
  poll.Add(acceptPaused ? platform::kInvalidSocket : server.sockets.listenSocket);
  state.pending.AddToPoll(poll);
  LoopTasks::Instance().AddToPoll(poll);
  Log(64, "WindowsInternalSelect calls WSAEventSelect\n");
  Log(64, "WindowsInternalSelect calls WSAWaitForMultipleEvents (%ld items)\n",
      static_cast<long>(2 + server.sockets.connections.size()));

  // The wait ends early for a pending connection's deadline or the end of
  // an accept pause; that is not the loop's time-out.
  int waitMs = waitUntilMs > now ? static_cast<int>(waitUntilMs - now) : 0;
  bool shortened = false;
  int headMs = state.pending.MsToNextDeadline(now);
  if (headMs >= 0 && headMs < waitMs) waitMs = headMs, shortened = true;
  int taskMs = LoopTasks::Instance().MsToNextDeadline(now);
  if (taskMs >= 0 && taskMs < waitMs) waitMs = taskMs, shortened = true;
  if (acceptPaused && static_cast<int>(state.acceptPausedUntilMs - now) < waitMs)
    waitMs = static_cast<int>(state.acceptPausedUntilMs - now), shortened = true;
  const int tickMs = g_hooks.tick != nullptr ? g_hooks.tick() : -1;
  if (tickMs >= 0 && tickMs < waitMs) waitMs = tickMs, shortened = true;

  int r = poll.Wait(waitMs);
  Log(64, "WFMO gets rv %ld\n", static_cast<long>(r));
  int result;
  if (r == 0 && !shortened) {
    Log(128, "Select returns TIMEOUT\n");
    result = kTimeout;
  } else if (r == 0) {
    result = kInterrupt;  // a pending connection's time ran out
  } else if (r == platform::kPollInterrupt) {
    Log(128, "rv=IOCOMPLETION; Select returns Interrupt\n");
    result = kInterrupt;
  } else if (poll.Ready(kSignalIndex) || poll.Ready(kSystemSignalIndex)) {
    // Operating-system signals become flags first (their wake is cleared
    // before their bits are taken), then the event that the flags set is
    // cleared and the flags are read: no wake is lost.
    if (TakeSystemSignals()) state.timersArmed = true;
    server.signals.signalEvent.Consume();
    result = SignalResult(server);
  } else if (poll.Ready(kListenIndex)) {
    Log(128, "Select returns ACCEPT SOCKET CONNECTION\n");
    result = kAccept;
  } else if (r == platform::kPollFailure || poll.Ready(kCompletionIndex)) {
    SessionCompletionEvent().Consume();
    Log(128, "Got Event0+1 (thread completion), return INTERRUPT\n");
    // Only the last session to end sets the event, so this one wake stands
    // for every session that ended since the last look: they are marked and
    // then removed at once.
    CheckConnectionList();
    CleanConnectionList();
    state.sessionEnded = true;
    result = kInterrupt;
  } else {
    result = kInterrupt;  // only pending connections or loop tasks have news
  }
  Log(1024, "Exit InternalSelect\n");
  return result;
}

}  // namespace

void RunReconfiguration() {
  MonitorServer& server = TheServer();
  Log(32, "Reconfig request\n");
  BeginConfigWalk();
  for (auto& [path, page] : server.pages) {
    Log(64, "Reconfig for page %s\n", path.c_str());
    page->Reconfig();
  }
  EndConfigWalk();
  server.signals.reconfigRequested = 0;
}

namespace {

void ShutdownSequence(MonitorServer& server) {
  SetLastSessionEndWakes(true);  // the wait below wants every last end
  for (auto& [path, page] : server.pages) {
    Log(64, "Call OnShutdown for page %s\n", path.c_str());
    page->OnPreShutdown();
  }
  for (auto& [path, page] : server.pages) {
    Log(64, "Call OnShutdown for page %s\n", path.c_str());
    page->OnShutdown();
  }
  // Sessions are waited for, but a client that sends or takes nothing must
  // not hold the shutdown: after a while their sockets are shut down, which
  // ends every read and write of theirs at once.
  const uint64_t start = platform::TickCountMs();
  bool interrupted = false;
  while (!server.sockets.connections.empty()) {
    Log(64, "Waiting for processes to end\n");
    CheckConnectionList();
    if (server.sockets.connections.empty()) break;
    if (!interrupted && platform::TickCountMs() - start >= kSessionShutdownWaitMs) {
      Log(16, "Sessions still running after %u ms; shutting their connections down\n",
          static_cast<unsigned>(kSessionShutdownWaitMs));
      InterruptSessions();
      interrupted = true;
    }
    SessionCompletionEvent().Wait(250);
  }
  EndSessionThreads();
  Log(32, "Shutdown request handled by default MonitorServer handler\n");
}

// Advances the page timers by every whole second since they were last
// advanced; the smallest seconds to a page's next timer.
uint32_t AdvanceTimers(LoopState& state) {
  uint32_t passed = static_cast<uint32_t>((platform::TickCountMs() - state.lastAdvanceMs) / 1000);
  state.lastAdvanceMs += static_cast<uint64_t>(passed) * 1000;
  return UpdateSchedulers(passed);
}

// Whole seconds since the server was last busy, kept in the server record.
uint32_t IdleSeconds(MonitorServer& server, const LoopState& state) {
  server.idle.idleSeconds = static_cast<uint32_t>((platform::TickCountMs() - state.idleSinceMs) / 1000);
  return server.idle.idleSeconds;
}

void ResetIdle(MonitorServer& server, LoopState& state) {
  state.idleSinceMs = platform::TickCountMs();
  server.idle.idleSeconds = 0;
}

uint32_t NextTimeout(MonitorServer& server, const LoopState& state) {
  return BoundByIdleTime(server.isCollector, server.idle.idleTimeoutSeconds, IdleSeconds(server, state),
                         UpdateSchedulersTimeout());
}

// Serves the connections whose request arrived and advances the loop tasks
// with news, as the last wait found them. The number of requests served and
// tasks finished.
size_t ServiceConnections(LoopState& state) {
  const uint64_t now = platform::TickCountMs();
  return state.pending.Service(state.poll, now) + LoopTasks::Instance().Service(state.poll, now);
}

// Takes the connections waiting in the listen queue. False when the loop
// must end (the listen socket failed).
bool AcceptReady(MonitorServer& server, LoopState& state) {
  // A quiet server (no request arriving, no session running) was most
  // likely woken by one client: it takes that one and leaves the queue to
  // the next wait, which ends at once if more came. Asking the queue again
  // would mostly cost a failed accept. A busy server takes a batch.
  const bool quiet = state.pending.Size() == 0 && LoopTasks::Instance().Size() == 0 && !AnySessionRunning();
  const int batch = quiet ? 1 : kAcceptBatch;
  for (int taken = 0; taken < batch; ++taken) {
    int socket = platform::Accept(server.sockets.listenSocket);
    if (socket != platform::kInvalidSocket) {
      state.acceptExhausted = false;
      state.pending.Add(socket, platform::TickCountMs());
      continue;
    }
    int error = platform::LastSocketError();
    switch (platform::ClassifyAcceptError(error)) {
      case platform::AcceptFailure::kTransient:
        if (taken == 0) Log(32, "WSAEWOULDBLOCK goto FalseAlarm");
        return true;
      case platform::AcceptFailure::kExhausted:
        // Out of descriptors or memory: connections wait in the listen
        // queue until some close. Retrying at once would spin.
        if (!state.acceptExhausted) Log(2, "Unable to accept() TCP connection %d\n", error);
        state.acceptExhausted = true;
        state.acceptPausedUntilMs = platform::TickCountMs() + kAcceptPauseMs;
        return true;
      case platform::AcceptFailure::kFatal:
        Log(16, "Unable to accept() TCP connection %d\n", error);
        return false;
    }
  }
  return true;
}

// Returns 0 after a shutdown or an idle exit, 1 on a failure.
int AcceptLoop(MonitorServer& server, size_t pendingCapacity) {
  if (platform::Listen(server.sockets.listenSocket, 4096) != 0) {
    Log(16, "Unable to listen() %d\n", platform::LastSocketError());
    return 1;
  }
  LoopState state(pendingCapacity);
  // The wait in force: `timeout` seconds from when it was chosen.
  uint32_t timeout = 0;
  uint64_t waitUntilMs = platform::TickCountMs();
  auto setTimeout = [&](uint32_t seconds) {
    timeout = seconds;
    waitUntilMs = platform::TickCountMs() + static_cast<uint64_t>(seconds) * 1000;
  };
  SendReadySignal();
  SetLastSessionEndWakes(!server.isCollector);
  state.lastAdvanceMs = state.idleSinceMs = platform::TickCountMs();
  for (;;) {
    Log(512, "Timeout is %u seconds\n", timeout);
    if (!server.lateInitDone) {
      setTimeout(kNoTimerSeconds);
      Log(512, "Late initialization not done; Timeout changed to %u seconds\n", timeout);
    }
    int r = InternalSelect(server, state, waitUntilMs);
    if (r == kSuggestShutdown) {
      Log(64, "Shutdown suggest accepted; idle timeout set to 1\n");
      SetIdleTimeout(1);
    }
    if (r == kFailure) return 1;
    if (r == kShutdown) {
      state.pending.CloseAll();
      LoopTasks::Instance().AbandonAll();  // handed to sessions, which the shutdown waits for
      ResetReadySignal();
      ShutdownSequence(server);
      ShutdownListenSocket(server);
      return 0;
    }
    if (r != kTimeout) {
      // The wait in force goes on; only its remaining seconds are shown.
      uint64_t now = platform::TickCountMs();
      timeout = waitUntilMs > now ? static_cast<uint32_t>((waitUntilMs - now + 999) / 1000) : 0;
      if (r == kReconfig) {
        if (g_hooks.reconfigBegins != nullptr) g_hooks.reconfigBegins();
        RunReconfiguration();
        if (g_hooks.reconfigEnded != nullptr) g_hooks.reconfigEnded();
        ResetIdle(server, state);
      } else if (r == kAccept) {
        ResetIdle(server, state);
        AdvanceTimers(state);
        if (!AcceptReady(server, state)) return 1;
        setTimeout(NextTimeout(server, state));
      } else if (r == kSuggestShutdown) {
        setTimeout(NextTimeout(server, state));
      } else if (state.sessionEnded) {
        state.sessionEnded = false;
        if (RunningSessions() == 0) {
          // The last session has ended: the idle count starts now.
          ResetIdle(server, state);
          AdvanceTimers(state);
          setTimeout(NextTimeout(server, state));
        }
      }
      if (state.timersArmed) {
        // The collector's first SIGTERM began its shutdown, whose timers
        // must not wait for the end of the wait in force.
        state.timersArmed = false;
        AdvanceTimers(state);
        setTimeout(NextTimeout(server, state));
      }
      // Requests that completed while the loop waited are served now,
      // whatever ended the wait, with the timers brought up to date first.
      if (r != kAccept && state.pending.Size() > 0) AdvanceTimers(state);
      if (ServiceConnections(state) > 0) {
        ResetIdle(server, state);
        setTimeout(NextTimeout(server, state));
      }
      Log(512, "new timeout is %u\n", timeout);
      continue;
    }

    // The time-out: the timers get every second since they last moved,
    // which is at least the time-out that expired.
    uint32_t next = AdvanceTimers(state);
    ServiceConnections(state);
    if (server.isCollector) {
      setTimeout(next);
      Log(512, "select() timeout %u\n", timeout);
      CheckConnectionList();
      continue;
    }
    const uint32_t idleLimit = server.idle.idleTimeoutSeconds;
    if (idleLimit == 0) {
      ResetIdle(server, state);
    } else if (IdleSeconds(server, state) >= idleLimit) {
      Log(128, "Exit if idle...\n");
      CleanConnectionList();
      if (server.sockets.connections.empty() && state.pending.Size() == 0 && LoopTasks::Instance().Size() == 0 &&
          AllMonitorsIdle())
        break;
      ResetIdle(server, state);
    }
    setTimeout(BoundByIdleTime(server.isCollector, idleLimit, IdleSeconds(server, state), next));
    Log(512, "select() timeout %u\n", timeout);
    CheckConnectionList();
  }
  Log(32, "Idle exit initiated\n");
  state.pending.CloseAll();
  LoopTasks::Instance().AbandonAll();
  ShutdownSequence(server);
  ShutdownListenSocket(server);
  return 0;
}

// Ends a read of standard input that waits for more when the first SIGTERM
// or SIGINT has arrived (the request in hand has been answered by then:
// only waits for the next one are cut). Other signals stay raised for the
// loop. In the collector the first signal begins the orderly shutdown
// instead of raising the flag; "system shutdown pending" tells it came.
bool StandardInputShouldEnd() {
  TakeSystemSignals();
  return TheServer().signals.shutdownRequested != 0 || platform::SystemShutdownPending();
}

void OneShotPhase(MonitorServer& server) {
  FILE* output = stdout;
  FILE* opened = nullptr;
  if (server.options.oneShotOutputRequested) {
    opened = platform::OpenWriteStream(server.options.oneShotOutputFile.c_str());
    output = opened;  // null when it could not be opened: nothing is written
  }
  IOOneShot io(server.options.oneShotCommand.c_str(), output, stdin);
  io.SetInterrupt(server.signals.systemSignalWake.Fd(), StandardInputShouldEnd);
  Log(64, "One shot STDIO phase started cmd=[%s] output=[%s]\n", server.options.oneShotCommand.c_str(),
      server.options.oneShotOutputFile.c_str());
  URLParse request;
  if (ReadRequest(&request, &io) == kRequestRead) ProcessRequests(&io, request);
  Log(64, "STDIO phase finished\n");
  if (opened != nullptr) fclose(opened);
}

void StdioPhase(MonitorServer& server, IOStdio& stdio) {
  Log(64, "STDIO phase started\n");
  LateProviderInitialization();
  Log(64, "LateInitialization complete\n");
  stdio.SetInterrupt(server.signals.systemSignalWake.Fd(), StandardInputShouldEnd);
  URLParse request;
  if (ReadRequest(&request, &stdio) == kRequestRead) ProcessRequests(&stdio, request);
  Log(64, "STDIO phase finished\n");
}

}  // namespace

void SetLoopHooks(const LoopHooks& hooks) { g_hooks = hooks; }

uint32_t BoundByIdleTime(bool isCollector, uint32_t idleLimit, uint32_t idleSeconds, uint32_t timeout) {
  if (isCollector || idleLimit == 0 || idleLimit <= idleSeconds) return timeout;
  return std::min(timeout, idleLimit - idleSeconds);
}

uint32_t SessionTimeoutFromEnvironment(const char* text) {
  constexpr uint32_t kDefault = 60;
  if (text == nullptr || *text < '0' || *text > '9') return kDefault;
  char* end = nullptr;
  unsigned long value = std::strtoul(text, &end, 10);
  if (*end != '\0' || value == 0 || value > 86400) return kDefault;
  return static_cast<uint32_t>(value);
}

uint32_t UpdateSchedulers(uint32_t elapsed) {
  Log(512, "MonitorServer::UpdateSchedulers %u elapsed\n", elapsed);
  uint32_t next = kNoTimerSeconds;
  for (auto& [path, page] : TheServer().pages) {
    page->ServiceTimers(elapsed);
    next = std::min(next, page->SecondsToNextTimer());
  }
  return next;
}

uint32_t UpdateSchedulersTimeout() {
  MonitorServer& server = TheServer();
  uint32_t next = kNoTimerSeconds;
  for (auto& [path, page] : server.pages) {
    uint32_t seconds = page->SecondsToNextTimer();
    if (seconds != kNoTimerSeconds)
      Log(512, "MonitorServer::UpdateSchedulersTimeout %s returns %u\n", path.c_str(), seconds);
    next = std::min(next, seconds);
  }
  if (next == kNoTimerSeconds) next = server.idle.idleTimeoutSeconds;
  Log(512, "MonitorServer::UpdateSchedulersTimeout returns %u (idle is %u,%u)\n", next,
      server.idle.idleTimeoutSeconds.load(), kNoTimerSeconds);
  return next;
}

int RunServer() {
  MonitorServer& server = TheServer();
  server.sockets.sessionTimeoutSeconds = SessionTimeoutFromEnvironment(std::getenv("VELMORA_SESSION_TIMEOUT"));
  const long descriptors = platform::RaiseDescriptorLimit();
  const size_t pendingCapacity = static_cast<size_t>(std::min(kMaxPendingRequests, descriptors / 4));
  IOStdio stdio(stdin, stdout);
  Log(64, "Server started\n");
  if (server.options.oneShotRequested) OneShotPhase(server);

  if (!server.options.oneShotRequested && server.options.tcpPhaseEnabled && SetupListenSocket(server) != 0) {
    Log(16, "Unable to initialize TCP/IP communication.  TCP/IP phase will be disabled\n");
    server.options.tcpPhaseEnabled = 0;
  }
  if (!server.options.oneShotRequested && !server.options.skipStdioPhase)
    StdioPhase(server, stdio);
  else
    Log(64, "STDIO phase skipped\n");

  fflush(stdout);
  platform::ReplaceStandardStreamsWithNull(LogUsesStandardError());

  int result = 0;
  if (!server.options.oneShotRequested && server.options.tcpPhaseEnabled && server.signals.shutdownRequested) {
    // Stopped while it served standard input: the run ends here, in order.
    Log(64, "Shutdown requested; TCP/IP phase skipped\n");
  } else if (!server.options.oneShotRequested && server.options.tcpPhaseEnabled) {
    Log(64, "TCP/IP phase started\n");
    if (!server.options.firstRun) {
      if (LateProviderInitialization() != 0) server.lateInitFailed = 1;
      server.lateInitDone = true;
    }
    if (server.lateInitFailed)
      Log(32, "A failure occurred in LateProviderInitialization; skipping Process Connections\n");
    else
      result = AcceptLoop(server, pendingCapacity);
    EndSessionThreads();  // also after a loop that ended on an error
    Log(64, "TCP/IP phase finished\n");
  }
  Log(64, "Server finshed\n");
  return result;
}
