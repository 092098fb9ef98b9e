#include "runtime/io_one_shot.h"

#include <cstring>

long IOOneShot::ReadLine(char* buffer, long size) {
  if (size < 2) return -1;
  if (linesHandedOut_ >= 2) return 0;
  // The command and its line feed, then a line feed alone: a request line
  // and the empty line that ends its (absent) headers.
  const size_t room = static_cast<size_t>(size - 1);
  size_t n = 0;
  if (linesHandedOut_ == 0) {
    n = command_.size() < room ? command_.size() : room;
    memcpy(buffer, command_.data(), n);
  }
  if (n < room) buffer[n++] = '\n';
  buffer[n] = '\0';
  ++linesHandedOut_;
  return static_cast<long>(n);
}
