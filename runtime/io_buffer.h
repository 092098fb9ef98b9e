// An IO channel that reads from bytes in memory and writes nothing: the loop
// parses a request head it has already received from a socket
// without reading the socket line by line. It does not own the bytes.
#pragma once
#include <string_view>

#include "runtime/io_base.h"

class IOBuffer : public IOBase {
 public:
  explicit IOBuffer(std::string_view input) : IOBase(kTypeSocket), input_(input) {}

  const char* PeerName() override { return ""; }
  long Write(const void*, size_t) override { return -1; }
  long Read(void* buffer, long length) override;
  // Reads as the socket channel does: up to and including a line feed, in
  // pieces of size - 1; 0 at the end of the bytes.
  long ReadLine(char* buffer, long size) override;
  // Bytes read so far.
  size_t Used() const { return used_; }

 private:
  std::string_view input_;
  size_t used_ = 0;
};
