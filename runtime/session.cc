#include "runtime/session.h"

#include <algorithm>
#include <atomic>
#include <list>
#include <memory>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/hand_off.h"
#include "platform/socket.h"
#include "runtime/access_log.h"
#include "runtime/dispatch.h"
#include "runtime/io_socket.h"
#include "runtime/log.h"
#include "runtime/monitor_server.h"

namespace {

std::atomic<int> g_running{0};  // sessions handed to a thread and not ended
std::atomic<bool> g_lastEndWakes{true};

void RunSession(Connection* connection) {
  Log(64, "MonitorServer::Session\n");
  {
    IOSocket io(connection->socket);  // owns the socket from here
    io.SetStallLimit(static_cast<int>(TheServer().sockets.sessionTimeoutSeconds * 1000));
    Log(32, "HTTP Session started for peer %s (pcon %p, socket %d)\n", io.PeerName(),
        static_cast<void*>(connection), connection->socket);
    io.BeginRequest();  // the head was read on the loop thread's channel
    if (!connection->readAhead.empty()) io.SetReadAhead(std::move(connection->readAhead));
    if (connection->work) {
      LogAccess(&io, connection->request, connection->work->Run(&io));
      connection->work.reset();  // what it holds (a provider's connection) goes now
    } else {
      URLParse request = connection->request;
      ProcessRequests(&io, request);
    }
    if (io.TimedOut()) Log(16, "Session timed out for %s\n", io.PeerName());
    Log(32, "HTTP Session finished for %s\n", io.PeerName());
    std::lock_guard<std::mutex> hold(connection->socketLock);
    io.Close();
    connection->socketClosed = true;
  }
  connection->ended = true;  // the loop may delete the record from here on
  if (g_running.fetch_sub(1) == 1 && g_lastEndWakes.load(std::memory_order_relaxed)) SessionCompletionEvent().Set();
}

// One session thread. `next` and `exited` are guarded by g_poolLock. `wake`
// is released once for the connection handed over while the thread is
// parked, or at teardown to end it (`next` then stays null). A semaphore
// rather than a condition variable: a hand-over then costs one wake and one
// wait, with no lock to take again on waking.
struct Worker {
  std::thread thread;
  Connection* next = nullptr;
  bool exited = false;
  platform::HandOff wake;
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
    lock.unlock();
    const bool woken = self->wake.WaitMs(static_cast<int>(kSessionThreadParkMs));
    lock.lock();
    if (!woken) {
      auto it = std::find(g_parked.begin(), g_parked.end(), self);
      if (it != g_parked.end()) {  // parked too long: leave
        g_parked.erase(it);
        break;
      }
      // The loop took it off the list just as the wait ran out; its
      // release comes right after.
      lock.unlock();
      self->wake.Wait();
      lock.lock();
    }
    if (self->next == nullptr) break;  // the server is ending
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

void SetLastSessionEndWakes(bool on) { g_lastEndWakes.store(on, std::memory_order_relaxed); }

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
    worker->wake.Post();
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
    for (Worker* w : g_parked) w->wake.Post();
    workers.swap(g_workers);
  }
  for (auto& w : workers) w->thread.join();
  std::lock_guard<std::mutex> hold(g_poolLock);
  g_parked.clear();
  g_stopping = false;
}

bool AnySessionRunning() { return g_running.load(std::memory_order_relaxed) > 0; }

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
