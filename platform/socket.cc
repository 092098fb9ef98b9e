#include "platform/socket.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdio.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include "platform/clock.h"

namespace platform {
namespace {

sockaddr_in LoopbackAddress(uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return a;
}

// poll() on one descriptor; EINTR restarts the wait with the time left.
int PollOne(int fd, short events, int timeoutMs, short* revents) {
  pollfd p{fd, events, 0};
  const uint64_t start = TickCountMs();
  int wait = timeoutMs;
  for (;;) {
    int r = poll(&p, 1, wait);
    if (r >= 0) {
      if (revents) *revents = p.revents;
      return r > 0 ? 1 : 0;
    }
    if (errno != EINTR) return -1;
    if (timeoutMs >= 0) {
      uint64_t spent = TickCountMs() - start;
      wait = spent >= static_cast<uint64_t>(timeoutMs) ? 0 : timeoutMs - static_cast<int>(spent);
    }
  }
}

// Waits at most timeoutMs for a connect in progress: 0 when it succeeded,
// else the error number (ETIMEDOUT when the wait ran out).
int WaitForConnect(int fd, int timeoutMs) {
  int r = PollOne(fd, POLLOUT, timeoutMs, nullptr);
  if (r == 0) return ETIMEDOUT;
  if (r < 0) return errno;
  // Writable also means "failed": only a zero pending error is success.
  int pending = 0;
  socklen_t len = sizeof pending;
  if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &pending, &len) != 0) pending = errno;
  return pending;
}

// One non-blocking sendmsg of both buffers: the count taken, or -1 with
// errno set (EINTR is retried).
long SendPairOnce(int fd, const void* first, size_t firstLength, const void* second, size_t secondLength) {
  iovec parts[2] = {{const_cast<void*>(first), firstLength}, {const_cast<void*>(second), secondLength}};
  msghdr message{};
  message.msg_iov = parts;
  message.msg_iovlen = 2;
  for (;;) {
    ssize_t n = sendmsg(fd, &message, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n >= 0 || errno != EINTR) return static_cast<long>(n);
  }
}

// What SendPairOnce left of the two buffers after `sent` bytes, by SendAll.
long SendRest(int fd, const void* first, size_t firstLength, const void* second, size_t secondLength, size_t sent,
              int stallMs) {
  if (sent < firstLength) {
    if (SendAll(fd, static_cast<const char*>(first) + sent, firstLength - sent, stallMs) < 0) return -1;
    sent = firstLength;
  }
  size_t secondSent = sent - firstLength;
  if (secondSent < secondLength &&
      SendAll(fd, static_cast<const char*>(second) + secondSent, secondLength - secondSent, stallMs) < 0)
    return -1;
  return static_cast<long>(firstLength + secondLength);
}

}  // namespace

int SocketStartup() { return 0; }
void SocketCleanup() {}

int CreateTcpSocket(bool nonBlocking) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | (nonBlocking ? SOCK_NONBLOCK : 0), 0);
  return fd >= 0 ? fd : kInvalidSocket;
}

int CreateSocketPair(int fds[2]) {
  return socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) == 0 ? 0 : -1;
}

int SetReuseAddress(int fd) {
  int one = 1;
  return setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) == 0 ? 0 : -1;
}

int BindLoopback(int fd, uint16_t port) {
  SetReuseAddress(fd);
  sockaddr_in a = LoopbackAddress(port);
  return bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 ? 0 : -1;
}

int Listen(int fd, int backlog) { return listen(fd, backlog) == 0 ? 0 : -1; }

uint16_t LocalPort(int fd) {
  sockaddr_in a{};
  socklen_t len = sizeof a;
  if (getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0 || a.sin_family != AF_INET) return 0;
  return ntohs(a.sin_port);
}

int Accept(int listenFd) {
  for (;;) {
    // On Linux the new socket never inherits the listener's O_NONBLOCK:
    // it is blocking, as sessions expect.
    int fd = accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd >= 0) return fd;
    if (errno != EINTR) return kInvalidSocket;
  }
}

int ConnectLoopbackNonBlocking(int fd, uint16_t port, int timeoutMs, int* error) {
  int err = 0;
  sockaddr_in a = LoopbackAddress(port);
  if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    err = errno;
    if (err == EINPROGRESS || err == EINTR || err == EAGAIN) err = WaitForConnect(fd, timeoutMs);
  }
  if (error) *error = err;
  if (err != 0) errno = err;
  return err == 0 ? 0 : -1;
}

int ConnectLoopbackAndSend(int fd, uint16_t port, int timeoutMs, const void* first, size_t firstLength,
                           const void* second, size_t secondLength, int stallMs, int* error) {
  int err = 0;
  long sent = -1;
  sockaddr_in a = LoopbackAddress(port);
  if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) err = errno;
  if (err == EINPROGRESS || err == EINTR || err == EAGAIN) {
    // On loopback the handshake is normally over by the time connect()
    // returns, and a refused one has already left its error: the send
    // either goes out or reports that error, with no wait and no query.
    sent = SendPairOnce(fd, first, firstLength, second, secondLength);
    err = sent >= 0 ? 0 : errno;
    // Still connecting: wait for it as a plain connect does.
    if (err == EAGAIN || err == EWOULDBLOCK || err == ENOTCONN) err = WaitForConnect(fd, timeoutMs);
  }
  if (err == 0 && sent < 0) SendAllPair(fd, first, firstLength, second, secondLength, stallMs);
  if (err == 0 && sent >= 0) SendRest(fd, first, firstLength, second, secondLength, static_cast<size_t>(sent), stallMs);
  if (error) *error = err;
  if (err != 0) errno = err;
  return err == 0 ? 0 : -1;
}

int ConnectLoopback(int fd, uint16_t port, int timeoutMs, int* error) {
  SetNonBlocking(fd, true);
  int result = ConnectLoopbackNonBlocking(fd, port, timeoutMs, error);
  int saved = errno;
  SetNonBlocking(fd, false);
  errno = saved;
  return result;
}

long SendAll(int fd, const void* data, size_t length, int stallMs) {
  const char* p = static_cast<const char*>(data);
  size_t done = 0;
  while (done < length) {
    // Never block inside send(): a full socket buffer is waited for with
    // poll(), which is where the stall limit applies.
    ssize_t n = send(fd, p + done, length - done, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      done += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      int r = PollOne(fd, POLLOUT, stallMs, nullptr);
      if (r < 0) return -1;
      if (r == 0) {
        errno = ETIMEDOUT;
        return -1;
      }
      continue;
    }
    return -1;
  }
  return static_cast<long>(done);
}

long Receive(int fd, void* buffer, size_t length) {
  for (;;) {
    ssize_t n = recv(fd, buffer, length, 0);
    if (n >= 0) return static_cast<long>(n);
    if (errno != EINTR) return -1;
  }
}

long Peek(int fd, void* buffer, size_t length) {
  for (;;) {
    ssize_t n = recv(fd, buffer, length, MSG_PEEK);
    if (n >= 0) return static_cast<long>(n);
    if (errno != EINTR) return -1;
  }
}

long SendAllPair(int fd, const void* first, size_t firstLength, const void* second, size_t secondLength,
                 int stallMs) {
  // One sendmsg for both while it takes everything (the common case of a
  // small answer); what is left after a short write goes out by SendAll.
  long n = SendPairOnce(fd, first, firstLength, second, secondLength);
  if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return -1;
  return SendRest(fd, first, firstLength, second, secondLength, n > 0 ? static_cast<size_t>(n) : 0, stallMs);
}

long ReceiveNow(int fd, void* buffer, size_t length) {
  for (;;) {
    ssize_t n = recv(fd, buffer, length, MSG_DONTWAIT);
    if (n >= 0) return static_cast<long>(n);
    if (errno == EAGAIN || errno == EWOULDBLOCK) return kWouldBlock;
    if (errno != EINTR) return -1;
  }
}

int WaitReadable(int fd, int timeoutMs) { return PollOne(fd, POLLIN, timeoutMs, nullptr); }

int PeerAddressText(int fd, char* buffer, size_t size) {
  sockaddr_in a{};
  socklen_t len = sizeof a;
  if (getpeername(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0 || a.sin_family != AF_INET) return -1;
  char dotted[INET_ADDRSTRLEN] = {};
  if (inet_ntop(AF_INET, &a.sin_addr, dotted, sizeof dotted) == nullptr) return -1;
  snprintf(buffer, size, "%s:%u", dotted, static_cast<unsigned>(ntohs(a.sin_port)));
  return 0;
}

int SetNonBlocking(int fd, bool nonBlocking) {
  int flags = fcntl(fd, F_GETFL);
  if (flags < 0) return -1;
  flags = nonBlocking ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK);
  return fcntl(fd, F_SETFL, flags) == 0 ? 0 : -1;
}

int SetZeroLinger(int fd) {
  linger l{1, 0};
  return setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l) == 0 ? 0 : -1;
}

int ShutdownBoth(int fd) { return shutdown(fd, SHUT_RDWR) == 0 ? 0 : -1; }

void CloseSocket(int fd) {
  // close() is not retried on EINTR: on Linux the descriptor is gone anyway.
  if (fd >= 0) close(fd);
}

int LastSocketError() { return errno; }

const char* SocketErrorText(int error) { return strerror(error); }

}  // namespace platform
