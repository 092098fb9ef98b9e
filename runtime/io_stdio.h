// The IO channel over the process's standard input and output (or any pair
// of C streams). Requests follow each other on one channel: the response
// to one is written, then the next request is read.
//
// The channel does not own its streams; whoever opened them closes them.
#pragma once
#include <cstdio>

#include "runtime/io_base.h"

class IOStdio : public IOBase {
 public:
  // Either stream may be null: no input reads as end of input, no output
  // (a one-shot output file that could not be opened) writes nothing.
  IOStdio(FILE* input, FILE* output) : IOBase(kTypeStdio), input_(input), output_(output) {}

  const char* PeerName() override { return "stdio"; }
  // Writes in pieces of 4096 bytes, counting each piece that wrote
  // something, flushes after the last, and returns the last piece's count
  // (callers only test it for being above 0).
  long Write(const void* data, size_t length) override;
  // Read returns what has arrived (at least one byte), not necessarily
  // `length` bytes, when an interrupt is set.
  long Read(void* buffer, long length) override;
  long ReadLine(char* buffer, long size) override;

  // Makes waits for input end when `wakeFd` becomes readable and
  // `shouldEnd()` then says so: the read returns end of input, and so does
  // every later one. A server sets this so that its shutdown signal ends a
  // standard-input phase that waits for the next request.
  void SetInterrupt(int wakeFd, bool (*shouldEnd)()) {
    wakeFd_ = wakeFd;
    shouldEnd_ = shouldEnd;
  }

 protected:
  // False when input ended by interrupt.
  bool WaitForInput();

  FILE* input_;
  FILE* output_;
  int wakeFd_ = -1;
  bool (*shouldEnd_)() = nullptr;
  bool interrupted_ = false;
};
