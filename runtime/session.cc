#include "runtime/session.h"

#include <system_error>

#include "runtime/dispatch.h"
#include "runtime/io_socket.h"
#include "runtime/log.h"
#include "runtime/monitor_server.h"

namespace {

void RunSession(Connection* connection) {
  Log(64, "MonitorServer::Session\n");
  {
    IOSocket io(connection->socket);  // owns the socket: shut down and closed at scope end
    Log(32, "HTTP Session started for peer %s (pcon %p, socket %d)\n", io.PeerName(),
        static_cast<void*>(connection), connection->socket);
    io.BeginRequest();  // the head was read on the loop thread's channel
    URLParse request = connection->request;
    ProcessRequests(&io, request);
    Log(32, "HTTP Session finished for %s\n", io.PeerName());
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

void CleanConnectionList() {
  auto& list = TheServer().connections;
  Log(1024, "CleanConnectionList\n");
  Log(1024, "CleanConnectionList size %u\n", static_cast<unsigned>(list.size()));
  for (auto it = list.begin(); it != list.end();) {
    Connection* c = *it;
    if (!c->done) {
      ++it;
      continue;
    }
    Log(1024, "CleanConnectionList::Cleaning up connection %d\n", c->socket);
    if (c->thread.joinable()) c->thread.join();
    delete c;
    it = list.erase(it);
  }
}

void CheckConnectionList() {
  Log(1024, "checkConnectionList\n");
  CleanConnectionList();
  for (Connection* c : TheServer().connections) {
    if (c->done) continue;
    if (c->ended.load()) {
      Log(1024, "checkConnectionList: connection thread completed; mark for deletion\n");
      c->done = true;
    } else {
      Log(1024, "Thread not complete %u", c->threadId);
    }
  }
}
