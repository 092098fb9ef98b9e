#include "runtime/server_loop.h"

#include <algorithm>
#include <cstdio>

#include "platform/clock.h"
#include "platform/poll_set.h"
#include "platform/socket.h"
#include "platform/std_streams.h"
#include "runtime/config_walk.h"
#include "runtime/dispatch.h"
#include "runtime/io_one_shot.h"
#include "runtime/io_stdio.h"
#include "runtime/late_init.h"
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

uint64_t NowSeconds() { return platform::TickCountMs() / 1000; }

int SetupListenSocket(MonitorServer& server) {
  Log(128, "MonitorServer::SetupListenSocket\n");
  int fd = platform::CreateTcpSocket();
  if (fd == platform::kInvalidSocket) {
    Log(16, "Unable to create listen socket");
    return -1;
  }
  Log(1024, "MonitorServer::SetupListenSocket calls bind\n");
  if (platform::BindLoopback(fd, server.port) != 0) {
    Log(16, "Unable to bind to 127.0.0.1:%d\n", static_cast<int>(server.port));
    platform::CloseSocket(fd);
    return -1;
  }
  server.port = platform::LocalPort(fd);
  Log(1024, "Listen port bound to %d\n", static_cast<int>(server.port));
  platform::SetNonBlocking(fd, true);
  server.listenSocket = fd;
  return 0;
}

void ShutdownListenSocket(MonitorServer& server) {
  Log(64, "MonitorServer::ShutdownListenSocket");
  if (server.listenSocket == platform::kInvalidSocket) return;
  platform::ShutdownBoth(server.listenSocket);
  platform::CloseSocket(server.listenSocket);
  server.listenSocket = platform::kInvalidSocket;
  Log(1024, "listen socket closed");
}

int SignalResult(MonitorServer& server) {
  Log(128, "Got Event+1\n");
  if (server.shutdownRequested) {
    Log(64, "Got Event+1 (shutdown)\n");
    return kShutdown;
  }
  if (server.reconfigRequested) {
    Log(64, "Got Event+1 (reconfig)\n");
    return kReconfig;
  }
  if (server.suggestShutdownRequested) {
    Log(64, "Got Event+1 (suggestshutdown)\n");
    return kSuggestShutdown;
  }
  Log(128, "return FAILURE\n");
  return kFailure;
}

// The event wait. The lowest ready index wins: signals before connections
// before session completions.
int InternalSelect(MonitorServer& server, uint32_t timeoutSeconds) {
  Log(1024, "Enter InternalSelect\n");
  Log(1024, "WindowsInternalSelect\n");
  const int fds[3] = {server.signalEvent.Fd(), server.listenSocket, SessionCompletionEvent().Fd()};
  Log(64, "WindowsInternalSelect calls WSAEventSelect\n");
  Log(64, "WindowsInternalSelect calls WSAWaitForMultipleEvents (%ld items)\n",
      static_cast<long>(2 + server.connections.size()));
  int r = platform::WaitAnyReadable(fds, 3, static_cast<int>(timeoutSeconds * 1000));
  Log(64, "WFMO gets rv %ld\n", static_cast<long>(r));
  int result;
  if (r == platform::kPollTimeout) {
    Log(128, "Select returns TIMEOUT\n");
    result = kTimeout;
  } else if (r == platform::kPollInterrupt) {
    Log(128, "rv=IOCOMPLETION; Select returns Interrupt\n");
    result = kInterrupt;
  } else if (r == 1) {
    Log(128, "Select returns ACCEPT SOCKET CONNECTION\n");
    result = kAccept;
  } else if (r == 0) {
    // Operating-system signals only set their bits and wake us; they become
    // flags here, before the event is cleared, so no wake is lost.
    DrainSystemSignals();
    server.signalEvent.Consume();
    result = SignalResult(server);
  } else {
    SessionCompletionEvent().Consume();
    Log(128, "Got Event0+1 (thread completion), return INTERRUPT\n");
    CheckConnectionList();
    result = kInterrupt;
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
  server.reconfigRequested = 0;
}

namespace {

void ShutdownSequence(MonitorServer& server) {
  for (auto& [path, page] : server.pages) {
    Log(64, "Call OnShutdown for page %s\n", path.c_str());
    page->OnPreShutdown();
  }
  for (auto& [path, page] : server.pages) {
    Log(64, "Call OnShutdown for page %s\n", path.c_str());
    page->OnShutdown();
  }
  while (!server.connections.empty()) {
    Log(64, "Waiting for processes to end\n");
    CheckConnectionList();
    platform::SleepMs(250);
  }
  Log(32, "Shutdown request handled by default MonitorServer handler\n");
}

// The wait shortened to the idle time left, so that an idle timeout shorter
// than the next page timer (a suggested shutdown sets it to 1 second) takes
// effect on time instead of at that timer. The collector never idles.
uint32_t BoundByIdleTime(const MonitorServer& server, uint32_t timeout) {
  const uint32_t idleLimit = server.idleTimeoutSeconds;
  if (server.isCollector || idleLimit == 0 || idleLimit <= server.idleSeconds) return timeout;
  return std::min(timeout, idleLimit - server.idleSeconds);
}

// Accepts one connection and dispatches it. False when the loop must end.
bool AcceptOne(MonitorServer& server, uint32_t elapsed, uint32_t* timeout) {
  int socket = platform::Accept(server.listenSocket);
  if (socket == platform::kInvalidSocket) {
    int error = platform::LastSocketError();
    if (platform::IsTransientAcceptError(error)) {
      Log(32, "WSAEWOULDBLOCK goto FalseAlarm");
      return true;
    }
    Log(16, "Unable to accept() TCP connection %d\n", error);
    return false;
  }
  UpdateSchedulers(elapsed);
  AcceptConnection(socket);
  *timeout = BoundByIdleTime(server, UpdateSchedulersTimeout());
  return true;
}

// Returns 0 after a shutdown or an idle exit, 1 on a failure.
int AcceptLoop(MonitorServer& server) {
  if (platform::Listen(server.listenSocket, 4096) != 0) {
    Log(16, "Unable to listen() %d\n", platform::LastSocketError());
    return 1;
  }
  uint32_t timeout = 0;
  SendReadySignal();
  for (;;) {
    uint64_t t0 = NowSeconds();
    Log(512, "Timeout is %u seconds\n", timeout);
    if (!server.lateInitDone) {
      timeout = kNoTimerSeconds;
      Log(512, "Late initialization not done; Timeout changed to %u seconds\n", timeout);
    }
    int r = InternalSelect(server, timeout);
    if (r == kSuggestShutdown) {
      Log(64, "Shutdown suggest accepted; idle timeout set to 1\n");
      SetIdleTimeout(1);
    }
    if (r == kFailure) return 1;
    if (r == kShutdown) {
      ResetReadySignal();
      ShutdownSequence(server);
      ShutdownListenSocket(server);
      return 0;
    }
    if (r != kTimeout) {
      uint32_t elapsed = static_cast<uint32_t>(NowSeconds() - t0);
      timeout = timeout > elapsed ? timeout - elapsed : 0;
      if (r == kReconfig) {
        RunReconfiguration();
        server.idleSeconds = 0;
      } else if (r == kAccept) {
        server.idleSeconds = 0;
        if (!AcceptOne(server, elapsed, &timeout)) return 1;
      } else if (r == kSuggestShutdown) {
        timeout = BoundByIdleTime(server, UpdateSchedulersTimeout());
      }
      Log(512, "new timeout is %u\n", timeout);
      continue;
    }

    server.idleSeconds += timeout;
    timeout = UpdateSchedulers(timeout);
    if (server.isCollector) {
      Log(512, "select() timeout %u\n", timeout);
      CheckConnectionList();
      continue;
    }
    const uint32_t idleLimit = server.idleTimeoutSeconds;
    if (idleLimit == 0) {
      server.idleSeconds = 0;
    } else if (server.idleSeconds >= idleLimit) {
      Log(128, "Exit if idle...\n");
      CleanConnectionList();
      if (server.connections.empty() && AllMonitorsIdle()) break;
      server.idleSeconds = 0;
    }
    timeout = BoundByIdleTime(server, timeout);
    Log(512, "select() timeout %u\n", timeout);
    CheckConnectionList();
  }
  Log(32, "Idle exit initiated\n");
  ShutdownSequence(server);
  ShutdownListenSocket(server);
  return 0;
}

void OneShotPhase(MonitorServer& server) {
  FILE* output = stdout;
  FILE* opened = nullptr;
  if (server.oneShotOutputRequested) {
    opened = platform::OpenWriteStream(server.oneShotOutputFile.c_str());
    output = opened;  // null when it could not be opened: nothing is written
  }
  IOOneShot io(server.oneShotCommand.c_str(), output, stdin);
  Log(64, "One shot STDIO phase started cmd=[%s] output=[%s]\n", server.oneShotCommand.c_str(),
      server.oneShotOutputFile.c_str());
  URLParse request;
  if (ReadRequest(&request, &io) == kRequestRead) ProcessRequests(&io, request);
  Log(64, "STDIO phase finished\n");
  if (opened != nullptr) fclose(opened);
}

void StdioPhase(IOStdio& stdio) {
  Log(64, "STDIO phase started\n");
  LateProviderInitialization();
  Log(64, "LateInitialization complete\n");
  URLParse request;
  if (ReadRequest(&request, &stdio) == kRequestRead) ProcessRequests(&stdio, request);
  Log(64, "STDIO phase finished\n");
}

}  // namespace

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
  if (next == kNoTimerSeconds) next = server.idleTimeoutSeconds;
  Log(512, "MonitorServer::UpdateSchedulersTimeout returns %u (idle is %u,%u)\n", next,
      server.idleTimeoutSeconds.load(), kNoTimerSeconds);
  return next;
}

int RunServer() {
  MonitorServer& server = TheServer();
  IOStdio stdio(stdin, stdout);
  Log(64, "Server started\n");
  if (server.oneShotRequested) OneShotPhase(server);

  if (!server.oneShotRequested && server.tcpPhaseEnabled && SetupListenSocket(server) != 0) {
    Log(16, "Unable to initialize TCP/IP communication.  TCP/IP phase will be disabled\n");
    server.tcpPhaseEnabled = 0;
  }
  if (!server.oneShotRequested && !server.skipStdioPhase)
    StdioPhase(stdio);
  else
    Log(64, "STDIO phase skipped\n");

  fflush(stdout);
  platform::ReplaceStandardStreamsWithNull(LogUsesStandardError());

  if (!server.oneShotRequested && server.tcpPhaseEnabled) {
    Log(64, "TCP/IP phase started\n");
    if (!server.firstRun) {
      if (LateProviderInitialization() != 0) server.lateInitFailed = 1;
      server.lateInitDone = true;
    }
    if (server.lateInitFailed)
      Log(32, "A failure occurred in LateProviderInitialization; skipping Process Connections\n");
    else
      AcceptLoop(server);
    Log(64, "TCP/IP phase finished\n");
  }
  Log(64, "Server finshed\n");
  return 0;
}
