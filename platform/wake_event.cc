#include "platform/wake_event.h"

#include <errno.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace platform {

WakeEvent::~WakeEvent() { Close(); }

int WakeEvent::Create() {
  if (fd_ >= 0) return 0;
  fd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  return fd_ >= 0 ? 0 : -1;
}

void WakeEvent::Close() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

void WakeEvent::Set() const {
  if (fd_ < 0) return;
  uint64_t one = 1;
  // A full counter (never reached in practice) still leaves the event set.
  while (write(fd_, &one, sizeof one) < 0 && errno == EINTR) {
  }
}

bool WakeEvent::Consume() const {
  if (fd_ < 0) return false;
  uint64_t value = 0;
  ssize_t n;
  while ((n = read(fd_, &value, sizeof value)) < 0 && errno == EINTR) {
  }
  return n == sizeof value && value != 0;
}

bool WakeEvent::Wait(int timeoutMs) const {
  if (fd_ < 0) return false;
  pollfd p{fd_, POLLIN, 0};
  for (;;) {
    int r = poll(&p, 1, timeoutMs);
    if (r < 0 && errno == EINTR) {
      if (Consume()) return true;
      continue;
    }
    if (r <= 0) return false;
    if (Consume()) return true;
  }
}

}  // namespace platform
