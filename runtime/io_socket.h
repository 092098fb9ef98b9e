// The IO channel over a connected TCP socket.
//
// The channel owns its socket from construction: the destructor shuts the
// socket down both ways and closes it. ReleaseOwnership() hands the socket
// to someone else (a session thread taking a connection over); the channel
// then leaves it open.
//
// A deadline (SetDeadline) bounds every later Read and ReadLine: the loop
// thread reads a request head under one, so a client that connects and
// sends nothing cannot hold the loop. A read that runs past the deadline
// returns -1 and TimedOut() becomes true.
#pragma once
#include <cstdint>

#include "runtime/io_base.h"

class IOSocket : public IOBase {
 public:
  explicit IOSocket(int socket);
  ~IOSocket() override;

  const char* PeerName() override;
  long Write(const void* data, size_t length) override;
  long Read(void* buffer, long length) override;
  long ReadLine(char* buffer, long size) override;

  int Socket() const { return socket_; }
  bool OwnsSocket() const { return ownsSocket_ != 0; }
  void ReleaseOwnership() { ownsSocket_ = 0; }

  // Reads past `tickMs` (platform::TickCountMs) fail; 0 removes the deadline.
  void SetDeadline(uint64_t tickMs) {
    deadlineMs_ = tickMs;
    timedOut_ = false;
  }
  bool TimedOut() const { return timedOut_; }

 private:
  // Waits for input when a deadline is set; false once it has passed.
  bool WaitForInput();

  int socket_;
  char peerName_[64] = {};
  uint8_t ownsSocket_ = 1;
  uint64_t deadlineMs_ = 0;
  bool timedOut_ = false;
};
