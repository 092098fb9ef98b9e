#include "platform/named_event.h"

#include <errno.h>
#include <poll.h>
#include <stddef.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace platform {
namespace {

// Fills an abstract address (sun_path[0] == 0) and returns its length.
socklen_t AbstractAddress(const std::string& name, sockaddr_un* addr) {
  memset(addr, 0, sizeof *addr);
  addr->sun_family = AF_UNIX;
  size_t n = name.size();
  if (n > sizeof addr->sun_path - 1) n = sizeof addr->sun_path - 1;
  memcpy(addr->sun_path + 1, name.data(), n);
  return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + n);
}

}  // namespace

NamedEvent::~NamedEvent() { Close(); }

void NamedEvent::Close() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

int NamedEvent::Create(const std::string& name) {
  Close();
  int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_un addr;
  socklen_t len = AbstractAddress(name, &addr);
  if (bind(fd, reinterpret_cast<sockaddr*>(&addr), len) != 0) {
    close(fd);
    return -1;
  }
  fd_ = fd;
  return 0;
}

int NamedEvent::OpenExisting(const std::string& name) {
  Close();
  int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_un addr;
  socklen_t len = AbstractAddress(name, &addr);
  int r;
  while ((r = connect(fd, reinterpret_cast<sockaddr*>(&addr), len)) != 0 && errno == EINTR) {
  }
  if (r != 0) {
    close(fd);
    return -1;
  }
  fd_ = fd;
  return 0;
}

int NamedEvent::Send(const char* text) const {
  if (fd_ < 0) return -1;
  ssize_t n;
  while ((n = send(fd_, text, strlen(text), MSG_NOSIGNAL | MSG_DONTWAIT)) < 0 && errno == EINTR) {
  }
  return n >= 0 ? 0 : -1;
}

int NamedEvent::Set() const { return Send("set"); }
int NamedEvent::Reset() const { return Send("reset"); }

int NamedEvent::WaitSignal(int timeoutMs, std::string* message) const {
  if (fd_ < 0) return -1;
  pollfd p{fd_, POLLIN, 0};
  int r;
  while ((r = poll(&p, 1, timeoutMs)) < 0 && errno == EINTR) {
  }
  if (r < 0) return -1;
  if (r == 0) return 0;
  char buf[64];
  ssize_t n;
  while ((n = recv(fd_, buf, sizeof buf, MSG_DONTWAIT)) < 0 && errno == EINTR) {
  }
  if (n < 0) return -1;
  if (message) message->assign(buf, static_cast<size_t>(n));
  return 1;
}

}  // namespace platform
