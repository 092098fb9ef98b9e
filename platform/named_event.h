// Named kernel objects. A name lives in the abstract AF_UNIX namespace: it
// exists exactly while the process that bound it holds the socket and
// disappears when that process dies, even by SIGKILL, so no stale object can
// outlive its owner. The names are per network namespace.
//
//   Create        binds a datagram socket to the name (fails if it is bound);
//   OpenExisting  connects to the name (fails unless someone holds it);
//   Set / Reset   send one datagram "set" / "reset" to the holder;
//   WaitSignal    lets the holder wait for such a datagram.
#pragma once
#include <string>

namespace platform {

class NamedEvent {
 public:
  NamedEvent() = default;
  ~NamedEvent();
  NamedEvent(const NamedEvent&) = delete;
  NamedEvent& operator=(const NamedEvent&) = delete;

  // Takes the name for this process. 0 on success, -1 when the name is held
  // elsewhere or the socket cannot be made.
  int Create(const std::string& name);
  // Opens a name that another holder created. 0 on success.
  int OpenExisting(const std::string& name);
  // Open (connected) side: signal the holder. 0 when the datagram was sent.
  int Set() const;
  int Reset() const;
  // Holder side: wait up to timeoutMs for a datagram. Returns 1 and fills
  // *message on arrival, 0 on time-out, -1 on error.
  int WaitSignal(int timeoutMs, std::string* message) const;
  bool IsOpen() const { return fd_ >= 0; }
  void Close();

 private:
  int Send(const char* text) const;
  int fd_ = -1;
};

}  // namespace platform
