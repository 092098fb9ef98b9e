#include "runtime/io_stdio.h"

#include <cstring>

#include "platform/std_streams.h"

bool IOStdio::WaitForInput() {
  if (interrupted_) return false;
  if (wakeFd_ < 0 || shouldEnd_ == nullptr) return true;
  while (platform::WaitForStreamInput(input_, wakeFd_) == 0) {
    if (shouldEnd_()) {
      interrupted_ = true;
      return false;
    }
  }
  return true;
}

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
  if (wakeFd_ >= 0) {
    // Take only what has arrived, so that a wait for more can be cut.
    if (!WaitForInput()) return 0;
    auto* out = static_cast<unsigned char*>(buffer);
    long n = 0;
    while (n < length && (n == 0 || platform::HasBufferedInput(input_))) {
      int c = fgetc(input_);
      if (c == EOF) break;
      out[n++] = static_cast<unsigned char>(c);
    }
    if (n == 0 && ferror(input_)) {
      clearerr(input_);
      return -1;
    }
    return n;
  }
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
    if (!WaitForInput()) break;
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
