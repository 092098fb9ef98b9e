// Sessions: one per forked connection, each on a session thread. The loop
// thread creates the record, hands it to a session thread and keeps it in
// the server's connection list (which owns it); the thread answers the
// connection and marks its record ended as its last act for it; the loop
// notices (woken by the completion event) and deletes the record. The
// connection list is touched by the loop thread only.
//
// Session threads are kept for reuse: one that has answered its connection
// parks and takes the next forked connection, so a busy server does not
// pay for a new thread per request. A thread parked longer than
// kSessionThreadParkMs ends, so at most as many stay as the busiest moment
// needed, and only for a while. EndSessionThreads ends the parked ones at
// teardown.
//
// A session's reads and writes give up after the server's session time-out
// without progress ("Session timed out for %s" at level 16), so a client
// that announces a body and sends nothing, or never reads its answer,
// cannot hold a thread for ever. At most kMaxSessions run at once.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "platform/wake_event.h"
#include "runtime/url_parse.h"

class IOBase;

// A request the loop thread began and a session thread finishes: the
// session runs it in place of the request's page. Run answers on `io` and
// returns the status it wrote; the session writes the access-log line.
class SessionWork {
 public:
  virtual ~SessionWork() = default;
  virtual int Run(IOBase* io) = 0;
};

struct Connection {
  int socket = -1;     // the accepted socket; the session thread owns it
  URLParse request;    // a copy of the request head read on the loop thread
  std::string readAhead;  // what the loop received after the head
  std::unique_ptr<SessionWork> work;  // when set, run instead of the page
  // The session's number in this process (1, 2, ...), used as its thread id
  // in log lines.
  uint32_t threadId = 0;
  std::atomic<bool> ended{false};  // set by the thread as its last act
  bool done = false;               // the loop saw it end; delete at next clean
  // Held while the thread closes the socket and while the loop shuts it
  // down (InterruptSessions), so the loop never touches a number that the
  // thread has closed and the system may have handed out again.
  std::mutex socketLock;
  bool socketClosed = false;
};

// Sessions that may run at once; past this a forked page is answered 503.
constexpr size_t kMaxSessions = 512;
// How long an idle session thread waits for another connection.
constexpr uint32_t kSessionThreadParkMs = 5000;

// Hands `connection` to a parked session thread, or to a new one (the
// record must outlive the session: the connection list keeps it until it
// has ended). False when no thread could be created; the caller then closes
// the socket.
bool StartSession(Connection* connection);

// Waits for every session thread to finish its connection and ends them all
// (teardown; the loop no longer starts sessions).
void EndSessionThreads();

// Set by the session thread that ends the last running session; the loop
// waits on it. Sessions that end while others run wake nobody: the loop
// needs the news only to start its idle count, and the connection list is
// tidied at the next accept or time-out anyway.
platform::WakeEvent& SessionCompletionEvent();
// Whether the last session to end sets the event (the default). A server
// without an idle exit (the collector) turns it off while it serves: the
// wake would only tidy the list, a wasted switch to the loop thread on every
// request that runs alone. The shutdown sequence turns it on to wait.
void SetLastSessionEndWakes(bool on);

// Sessions in the connection list whose thread has not ended.
size_t RunningSessions();
// Whether a session handed to a thread has not ended yet; one atomic load,
// for checks on every accept.
bool AnySessionRunning();

// Deletes (after joining) every record marked done.
void CleanConnectionList();
// Cleans, then marks done every record whose thread has ended.
void CheckConnectionList();

// Shuts down the socket of every running session, so that its reads and
// writes fail at once and the thread returns (the bounded shutdown wait).
void InterruptSessions();
