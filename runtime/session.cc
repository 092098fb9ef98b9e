#include "runtime/session.h"

#include <system_error>

#include "platform/socket.h"
#include "runtime/dispatch.h"
#include "runtime/io_socket.h"
#include "runtime/log.h"
#include "runtime/monitor_server.h"

namespace {

void RunSession(Connection* connection) {
  Log(64, "MonitorServer::Session\n");
  {
    IOSocket io(connection->socket);  // owns the socket from here
    io.SetStallLimit(static_cast<int>(TheServer().sockets.sessionTimeoutSeconds * 1000));
    Log(32, "HTTP Session started for peer %s (pcon %p, socket %d)\n", io.PeerName(),
        static_cast<void*>(connection), connection->socket);
    io.BeginRequest();  // the head was read on the loop thread's channel
    URLParse request = connection->request;
    ProcessRequests(&io, request);
    if (io.TimedOut()) Log(16, "Session timed out for %s\n", io.PeerName());
    Log(32, "HTTP Session finished for %s\n", io.PeerName());
    std::lock_guard<std::mutex> hold(connection->socketLock);
    io.Close();
    connection->socketClosed = true;
  }
  connection->ended = true;
  SessionCompletionEvent().Set();
}

}  // namespace

platform::WakeEvent& SessionCompletionEvent() {
  static platform::WakeEvent* event = [] {
    auto* e = new platform::WakeEvent;
    e->Create();
    return e;
  }();
  return *event;
}

bool StartSession(Connection* connection) {
  static uint32_t sessions = 0;  // loop thread only
  connection->threadId = ++sessions;
  try {
    connection->thread = std::thread(RunSession, connection);
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

size_t RunningSessions() {
  size_t running = 0;
  for (const auto& c : TheServer().sockets.connections)
    if (!c->ended.load()) ++running;
  return running;
}

void CleanConnectionList() {
  auto& list = TheServer().sockets.connections;
  Log(1024, "CleanConnectionList\n");
  Log(1024, "CleanConnectionList size %u\n", static_cast<unsigned>(list.size()));
  for (auto it = list.begin(); it != list.end();) {
    Connection* c = it->get();
    if (!c->done) {
      ++it;
      continue;
    }
    Log(1024, "CleanConnectionList::Cleaning up connection %d\n", c->socket);
    if (c->thread.joinable()) c->thread.join();
    it = list.erase(it);
  }
}

void CheckConnectionList() {
  Log(1024, "checkConnectionList\n");
  CleanConnectionList();
  for (const auto& c : TheServer().sockets.connections) {
    if (c->done) continue;
    if (c->ended.load()) {
      Log(1024, "checkConnectionList: connection thread completed; mark for deletion\n");
      c->done = true;
    } else {
      Log(1024, "Thread not complete %u", c->threadId);
    }
  }
}

void InterruptSessions() {
  for (const auto& c : TheServer().sockets.connections) {
    std::lock_guard<std::mutex> hold(c->socketLock);
    if (!c->socketClosed) platform::ShutdownBoth(c->socket);
  }
}
