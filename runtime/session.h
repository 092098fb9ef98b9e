// Session threads: one per forked connection. The loop thread creates the
// record, starts the thread and keeps the record in the server's connection
// list (which owns it); the thread answers the connection and marks its
// record ended; the loop notices (woken by the completion event), joins the
// thread and deletes the record. The connection list is touched by the
// loop thread only.
//
// A session's reads and writes give up after the server's session time-out
// without progress ("Session timed out for %s" at level 16), so a client
// that announces a body and sends nothing, or never reads its answer,
// cannot hold a thread for ever. At most kMaxSessions run at once.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>

#include "platform/wake_event.h"
#include "runtime/url_parse.h"

struct Connection {
  int socket = -1;     // the accepted socket; the session thread owns it
  URLParse request;    // a copy of the request head read on the loop thread
  std::thread thread;  // not joinable when creation failed
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

// Starts the session thread for `connection` (which must outlive it: the
// connection list keeps it until the thread has ended). False when the
// thread could not be created; the caller then closes the socket.
bool StartSession(Connection* connection);

// Set by each session thread as it ends; the loop waits on it.
platform::WakeEvent& SessionCompletionEvent();

// Sessions in the connection list whose thread has not ended.
size_t RunningSessions();

// Deletes (after joining) every record marked done.
void CleanConnectionList();
// Cleans, then marks done every record whose thread has ended.
void CheckConnectionList();

// Shuts down the socket of every running session, so that its reads and
// writes fail at once and the thread returns (the bounded shutdown wait).
void InterruptSessions();
