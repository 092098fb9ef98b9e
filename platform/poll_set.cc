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

size_t PollSet::Add(int fd) {
  entries_.push_back(Entry{fd, static_cast<short>(POLLIN | POLLRDHUP), 0});
  return entries_.size() - 1;
}

int PollSet::Wait(int timeoutMs) {
  // The entries are copied into poll()'s own records so that this header
  // needs no system header; the copy is small next to the wait itself.
  thread_local std::vector<pollfd> set;
  set.resize(entries_.size());
  for (size_t i = 0; i < entries_.size(); ++i) set[i] = pollfd{entries_[i].fd, entries_[i].events, 0};
  int r = poll(set.data(), static_cast<nfds_t>(set.size()), timeoutMs);
  for (size_t i = 0; i < entries_.size(); ++i) entries_[i].revents = r > 0 ? set[i].revents : 0;
  if (r < 0) return errno == EINTR ? kPollInterrupt : kPollFailure;
  return r;
}

bool PollSet::Ready(size_t i) const { return i < entries_.size() && entries_[i].revents != 0; }

bool PollSet::HungUp(size_t i) const {
  return i < entries_.size() && (entries_[i].revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
}

AcceptFailure ClassifyAcceptError(int error) {
  if (IsTransientAcceptError(error)) return AcceptFailure::kTransient;
  if (error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM) return AcceptFailure::kExhausted;
  return AcceptFailure::kFatal;
}

bool IsTransientAcceptError(int error) {
  return error == EAGAIN || error == EWOULDBLOCK || error == ECONNABORTED || error == EINTR || error == EPROTO ||
         error == ENETDOWN || error == ENOPROTOOPT || error == EHOSTDOWN || error == ENONET ||
         error == EHOSTUNREACH || error == EOPNOTSUPP || error == ENETUNREACH;
}

}  // namespace platform
