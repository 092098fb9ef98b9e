#include "runtime/session.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <list>
#include <memory>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/socket.h"
#include "runtime/dispatch.h"
#include "runtime/io_socket.h"
#include "runtime/log.h"
#include "runtime/monitor_server.h"

namespace {

std::atomic<int> g_running{0};  // sessions handed to a thread and not ended

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
  connection->ended = true;  // the loop may delete the record from here on
  if (g_running.fetch_sub(1) == 1) SessionCompletionEvent().Set();
}

// One session thread. `next` is the connection handed to it; all fields are
// guarded by g_poolLock.
struct Worker {
  std::thread thread;
  Connection* next = nullptr;
  bool exited = false;
  std::condition_variable wake;
};

std::mutex g_poolLock;
std::list<std::unique_ptr<Worker>> g_workers;  // every thread not yet joined
std::vector<Worker*> g_parked;                 // idle ones, the latest last
bool g_stopping = false;

void WorkerMain(Worker* self) {
  std::unique_lock<std::mutex> lock(g_poolLock);
  for (;;) {
    Connection* connection = self->next;
    self->next = nullptr;
    lock.unlock();
    RunSession(connection);
    lock.lock();
    if (g_stopping) break;
    g_parked.push_back(self);
    self->wake.wait_for(lock, std::chrono::milliseconds(kSessionThreadParkMs),
                        [self] { return self->next != nullptr || g_stopping; });
    if (self->next != nullptr) continue;  // the loop took it off the parked list
    // Parked too long, or the server is ending: leave.
    for (auto it = g_parked.begin(); it != g_parked.end(); ++it)
      if (*it == self) {
        g_parked.erase(it);
        break;
      }
    break;
  }
  self->exited = true;
}

// Joins the threads that have left (loop thread, under g_poolLock). A
// thread marks itself exited as its last act under the lock, so the join
// returns at once.
void JoinExited() {
  for (auto it = g_workers.begin(); it != g_workers.end();) {
    if (!(*it)->exited) {
      ++it;
      continue;
    }
    (*it)->thread.join();
    it = g_workers.erase(it);
  }
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
  g_running.fetch_add(1);
  std::unique_lock<std::mutex> hold(g_poolLock);
  JoinExited();
  if (!g_parked.empty()) {
    Worker* worker = g_parked.back();
    g_parked.pop_back();
    worker->next = connection;
    // Woken after the lock is let go, so that it does not wake only to wait
    // for the lock. The worker record stays valid: only this thread joins
    // and deletes workers.
    hold.unlock();
    worker->wake.notify_one();
    return true;
  }
  auto worker = std::make_unique<Worker>();
  worker->next = connection;
  try {
    worker->thread = std::thread(WorkerMain, worker.get());
  } catch (const std::system_error&) {
    g_running.fetch_sub(1);
    return false;
  }
  g_workers.push_back(std::move(worker));
  return true;
}

void EndSessionThreads() {
  std::list<std::unique_ptr<Worker>> workers;
  {
    std::lock_guard<std::mutex> hold(g_poolLock);
    g_stopping = true;
    for (Worker* w : g_parked) w->wake.notify_one();
    workers.swap(g_workers);
  }
  for (auto& w : workers) w->thread.join();
  std::lock_guard<std::mutex> hold(g_poolLock);
  g_parked.clear();
  g_stopping = false;
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
