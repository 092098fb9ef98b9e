#include "platform/poll_set.h"

#include <errno.h>
#include <poll.h>

#include <cstddef>
#include <vector>

namespace platform {

int WaitAnyReadable(const int* fds, int count, int timeoutMs) {
  std::vector<pollfd> set(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) set[static_cast<size_t>(i)] = pollfd{fds[i], POLLIN, 0};
  int r = poll(set.data(), static_cast<nfds_t>(count), timeoutMs);
  if (r < 0) return errno == EINTR ? kPollInterrupt : kPollFailure;
  if (r == 0) return kPollTimeout;
  for (int i = 0; i < count; ++i)
    if (set[static_cast<size_t>(i)].revents != 0) return i;
  return kPollTimeout;
}

bool IsTransientAcceptError(int error) {
  return error == EAGAIN || error == EWOULDBLOCK || error == ECONNABORTED || error == EINTR || error == EPROTO;
}

}  // namespace platform
