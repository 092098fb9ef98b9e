// IO channels: what a request is read from and its response written to.
//
// A page answers through the channel it is handed, so one page serves a TCP
// connection, standard input and output, and a one-shot command alike. The
// kinds are IOSocket (type 1), IOStdio (type 2) and IOOneShot (an IOStdio
// that plays one command line as its input).
//
// Every channel counts the bytes it writes, over its life and since the
// current request was read; ReadRequest starts each request with
// BeginRequest(), which also numbers the requests on the channel from 1 (the
// access-log line prints both). A channel belongs to one thread at a time.
#pragma once
#include <cstddef>
#include <cstdint>

class IOBase {
 public:
  enum : int32_t { kTypeBase = 0, kTypeSocket = 1, kTypeStdio = 2 };

  virtual ~IOBase() = default;

  // A printable name of the other end ("127.0.0.1:51000", "stdio").
  virtual const char* PeerName() = 0;
  // Writes the whole buffer: bytes written, 0 or less on failure.
  virtual long Write(const void* data, size_t length) = 0;
  // Writes two buffers one after the other (a response head and its body),
  // in one system call where the channel can. The bytes written: 0 or less
  // when the first failed, less than both lengths when the second did.
  virtual long WritePair(const void* first, size_t firstLength, const void* second, size_t secondLength) {
    if (Write(first, firstLength) <= 0) return 0;
    if (secondLength != 0 && Write(second, secondLength) <= 0) return static_cast<long>(firstLength);
    return static_cast<long>(firstLength + secondLength);
  }
  // Up to length bytes: count, 0 at end of input, -1 on error or when
  // length is below 1.
  virtual long Read(void* buffer, long length) = 0;
  // One line of at most size - 1 characters, line feed included, stored
  // NUL-terminated: count, 0 at end of input, -1 on error. A longer line
  // comes back in pieces.
  virtual long ReadLine(char* buffer, long size) = 0;

  uint32_t TotalBytesWritten() const { return totalBytesWritten_; }
  uint32_t RequestBytesWritten() const { return requestBytesWritten_; }
  int32_t Type() const { return type_; }

  // Starts the next request on this channel: the per-request byte count
  // goes back to 0 and the request number goes up by one.
  void BeginRequest() {
    requestBytesWritten_ = 0;
    ++requestNumber_;
  }
  // The number of the current request on this channel, counting from 1
  // (0 before the first).
  uint32_t RequestNumber() const { return requestNumber_; }

  // The largest request body ReadBody takes from this channel (no limit by
  // default). The loop thread's channels carry one: a body read there holds
  // every other client, so it must be small.
  static constexpr uint64_t kNoBodyLimit = ~uint64_t{0};
  uint64_t BodyLimit() const { return bodyLimit_; }
  void SetBodyLimit(uint64_t bytes) { bodyLimit_ = bytes; }
  // ReadBody refused the body announced on this channel (over the limit):
  // nothing more is read or written, the connection closes unanswered.
  virtual void RefuseBody() { bodyRefused_ = true; }
  bool BodyRefused() const { return bodyRefused_; }

 protected:
  explicit IOBase(int32_t type) : type_(type) {}
  IOBase(const IOBase&) = delete;
  IOBase& operator=(const IOBase&) = delete;

  // Every successful write adds its count to both counters.
  void CountWritten(long count) {
    if (count <= 0) return;
    totalBytesWritten_ += static_cast<uint32_t>(count);
    requestBytesWritten_ += static_cast<uint32_t>(count);
  }

 private:
  uint32_t totalBytesWritten_ = 0;
  uint32_t requestBytesWritten_ = 0;
  int32_t type_;
  uint32_t requestNumber_ = 0;
  uint64_t bodyLimit_ = kNoBodyLimit;
  bool bodyRefused_ = false;
};
