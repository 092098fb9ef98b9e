// Session threads: one per forked connection. The loop thread creates the
// record, starts the thread and keeps the record in the server's connection
// list; the thread answers the connection and marks its record ended; the
// loop notices (woken by the completion event), joins the thread and
// deletes the record. The connection list is touched by the loop thread only.
#pragma once
#include <atomic>
#include <cstdint>
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
};

// Starts the session thread for `connection`. False (after logging) when the
// thread could not be created; the caller then closes the socket.
bool StartSession(Connection* connection);

// Set by each session thread as it ends; the loop waits on it.
platform::WakeEvent& SessionCompletionEvent();

// Deletes (after joining) every record marked done.
void CleanConnectionList();
// Cleans, then marks done every record whose thread has ended.
void CheckConnectionList();
