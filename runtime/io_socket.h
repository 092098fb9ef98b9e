// The IO channel over a connected TCP socket.
//
// The channel owns its socket from construction: Close() and the destructor
// shut the socket down both ways and close it. ReleaseOwnership() hands the
// socket to someone else (a session thread taking a connection over); the
// channel then leaves it open.
//
// Limits keep one client from holding the thread that serves it:
//  - a deadline (SetDeadline) bounds every later read: the loop thread reads
//    a request head and an inline page's body under the one set at accept;
//  - a stall limit (SetStallLimit) bounds each read and each write: a
//    session gives up on a client that sends or takes nothing for that long.
// When a limit runs out the channel is dead: TimedOut() becomes true and
// every later read and write fails at once without touching the socket. A
// body refused by ReadBody (RefuseBody) kills the channel the same way, so
// the connection closes with nothing written.
#pragma once
#include <cstdint>
#include <string>
#include <utility>

#include "runtime/io_base.h"

class IOSocket : public IOBase {
 public:
  explicit IOSocket(int socket);
  ~IOSocket() override;

  // The peer's address text, looked up at the first call (a system call,
  // so only when something logs it); empty when first asked for after the
  // socket was closed.
  const char* PeerName() override;
  long Write(const void* data, size_t length) override;
  long WritePair(const void* first, size_t firstLength, const void* second, size_t secondLength) override;
  long Read(void* buffer, long length) override;
  long ReadLine(char* buffer, long size) override;

  int Socket() const { return socket_; }
  bool OwnsSocket() const { return ownsSocket_ != 0; }
  void ReleaseOwnership() { ownsSocket_ = 0; }
  // Shuts an owned socket down both ways and closes it now.
  void Close();

  // Reads past `tickMs` (platform::TickCountMs) fail; 0 removes the deadline.
  void SetDeadline(uint64_t tickMs) { deadlineMs_ = tickMs; }
  // Reads and writes fail after `ms` without progress; below 0: no limit.
  void SetStallLimit(int ms) { stallMs_ = ms; }
  bool TimedOut() const { return timedOut_; }

  // Bytes already taken from the socket for the request in hand (a body the
  // loop collected before an inline page runs): reads return them first.
  void SetReadAhead(std::string bytes) {
    readAhead_ = std::move(bytes);
    readAheadUsed_ = 0;
  }
  // The read-ahead bytes not read yet, taken out of the channel (a session
  // thread's channel gets them from the loop's).
  std::string TakeReadAhead() {
    std::string rest = readAhead_.substr(readAheadUsed_);
    SetReadAhead(std::string());
    return rest;
  }

 private:
  bool Dead() const { return timedOut_ || BodyRefused(); }
  // Waits for input within the limits; false (and timed out) once one ran out.
  bool WaitForInput();
  // Serves a read from the read-ahead bytes; -1 when there are none left.
  long ReadAhead(void* buffer, long length, bool line);

  int socket_;
  char peerName_[64] = {};
  uint8_t ownsSocket_ = 1;
  uint64_t deadlineMs_ = 0;
  int stallMs_ = -1;
  bool timedOut_ = false;
  std::string readAhead_;
  size_t readAheadUsed_ = 0;
};
