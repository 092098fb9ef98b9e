#include "runtime/io_stdio.h"

#include <cstring>

long IOStdio::Write(const void* data, size_t length) {
  if (output_ == nullptr) return 0;
  constexpr size_t kPiece = 4096;
  const char* p = static_cast<const char*>(data);
  long last = 0;
  for (size_t done = 0; done < length;) {
    size_t want = length - done < kPiece ? length - done : kPiece;
    size_t n = fwrite(p + done, 1, want, output_);
    last = static_cast<long>(n);
    CountWritten(last);
    if (n < want) break;  // a stream error: report the short piece
    done += n;
  }
  fflush(output_);
  return last;
}

long IOStdio::Read(void* buffer, long length) {
  if (length < 1) return -1;
  if (input_ == nullptr) return 0;
  size_t n = fread(buffer, 1, static_cast<size_t>(length), input_);
  if (n == 0 && ferror(input_)) {
    clearerr(input_);
    return -1;
  }
  return static_cast<long>(n);
}

long IOStdio::ReadLine(char* buffer, long size) {
  if (size < 2) return -1;
  if (input_ == nullptr) return 0;
  // fgets stops after a line feed or size - 1 characters; the count is
  // taken by hand so that a NUL byte inside the line does not shorten it.
  long stored = 0;
  while (stored < size - 1) {
    int c = fgetc(input_);
    if (c == EOF) {
      if (ferror(input_)) {
        clearerr(input_);
        if (stored == 0) return -1;
      }
      break;
    }
    buffer[stored++] = static_cast<char>(c);
    if (c == '\n') break;
  }
  buffer[stored] = '\0';
  return stored;
}
