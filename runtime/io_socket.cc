#include "runtime/io_socket.h"

#include <cerrno>
#include <cstring>

#include "platform/clock.h"
#include "platform/socket.h"

IOSocket::IOSocket(int socket) : IOBase(kTypeSocket), socket_(socket) {}

IOSocket::~IOSocket() { Close(); }

void IOSocket::Close() {
  if (socket_ != platform::kInvalidSocket && ownsSocket_) {
    platform::ShutdownBoth(socket_);
    platform::CloseSocket(socket_);
    socket_ = platform::kInvalidSocket;
  }
}

const char* IOSocket::PeerName() {
  if (peerName_[0] == '\0' && socket_ != platform::kInvalidSocket)
    platform::PeerAddressText(socket_, peerName_, sizeof peerName_);
  return peerName_;
}

long IOSocket::Write(const void* data, size_t length) {
  if (Dead() || socket_ == platform::kInvalidSocket) return -1;
  // The platform send loops until every byte is out, so one call here is
  // one logical send of the whole buffer even when signals interrupt it.
  long n = platform::SendAll(socket_, data, length, stallMs_);
  if (n < 0 && platform::LastSocketError() == ETIMEDOUT) timedOut_ = true;
  if (n >= 1) CountWritten(n);
  return n;
}

long IOSocket::WritePair(const void* first, size_t firstLength, const void* second, size_t secondLength) {
  if (Dead() || socket_ == platform::kInvalidSocket) return -1;
  long n = platform::SendAllPair(socket_, first, firstLength, second, secondLength, stallMs_);
  if (n < 0 && platform::LastSocketError() == ETIMEDOUT) timedOut_ = true;
  if (n >= 1) CountWritten(n);
  return n;
}

bool IOSocket::WaitForInput() {
  int wait = stallMs_;
  if (deadlineMs_ != 0) {
    uint64_t now = platform::TickCountMs();
    int left = now >= deadlineMs_ ? 0 : static_cast<int>(deadlineMs_ - now);
    if (wait < 0 || left < wait) wait = left;
  }
  if (wait < 0) return true;  // no limit: the receive itself waits
  if (platform::WaitReadable(socket_, wait) == 1) return true;
  timedOut_ = true;
  return false;
}

long IOSocket::ReadAhead(void* buffer, long length, bool line) {
  size_t left = readAhead_.size() - readAheadUsed_;
  if (left == 0) return -1;
  const char* from = readAhead_.data() + readAheadUsed_;
  size_t take = left < static_cast<size_t>(length) ? left : static_cast<size_t>(length);
  if (line) {
    const void* lineFeed = memchr(from, '\n', take);
    if (lineFeed != nullptr) take = static_cast<size_t>(static_cast<const char*>(lineFeed) - from) + 1;
  }
  memcpy(buffer, from, take);
  readAheadUsed_ += take;
  return static_cast<long>(take);
}

long IOSocket::Read(void* buffer, long length) {
  if (length < 1 || Dead()) return -1;
  long n = ReadAhead(buffer, length, false);
  if (n >= 0) return n;
  if (!WaitForInput()) return -1;
  return platform::Receive(socket_, buffer, static_cast<size_t>(length));
}

long IOSocket::ReadLine(char* buffer, long size) {
  if (size < 2 || Dead()) return -1;
  long stored = ReadAhead(buffer, size - 1, true);
  if (stored >= 0) {
    buffer[stored] = '\0';
    return stored;
  }
  stored = 0;
  // Look at what has arrived and take only up to the line's end, so the
  // bytes after it (the next line, or the body for ReadBody) stay in the
  // socket: two calls per line rather than one per byte.
  while (stored < size - 1) {
    if (!WaitForInput()) return -1;
    char* at = buffer + stored;
    long n = platform::Peek(socket_, at, static_cast<size_t>(size - 1 - stored));
    if (n <= 0) return n;  // a line cut short by the peer closing reads as 0
    const void* lineFeed = memchr(at, '\n', static_cast<size_t>(n));
    long take = lineFeed != nullptr ? static_cast<const char*>(lineFeed) - at + 1 : n;
    long got = platform::Receive(socket_, at, static_cast<size_t>(take));
    if (got <= 0) return got;
    stored += got;
    if (lineFeed != nullptr && got == take) break;
  }
  buffer[stored] = '\0';
  return stored;
}
