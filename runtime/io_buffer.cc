#include "runtime/io_buffer.h"

#include <cstring>

long IOBuffer::Read(void* buffer, long length) {
  if (length < 1) return -1;
  size_t n = input_.size() - used_;
  if (n > static_cast<size_t>(length)) n = static_cast<size_t>(length);
  memcpy(buffer, input_.data() + used_, n);
  used_ += n;
  return static_cast<long>(n);
}

long IOBuffer::ReadLine(char* buffer, long size) {
  if (size < 2) return -1;
  size_t n = input_.size() - used_;
  if (n > static_cast<size_t>(size - 1)) n = static_cast<size_t>(size - 1);
  const void* lineFeed = memchr(input_.data() + used_, '\n', n);
  if (lineFeed != nullptr) n = static_cast<size_t>(static_cast<const char*>(lineFeed) - (input_.data() + used_)) + 1;
  memcpy(buffer, input_.data() + used_, n);
  buffer[n] = '\0';
  used_ += n;
  return static_cast<long>(n);
}
