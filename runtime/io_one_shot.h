// The IO channel of one-shot mode: the command given on the command line
// is played as the request line, followed by an empty line and then end of
// input; the response goes to the output stream.
#pragma once
#include <cstdint>
#include <string>

#include "runtime/io_stdio.h"

class IOOneShot : public IOStdio {
 public:
  IOOneShot(const char* command, FILE* output, FILE* input = nullptr)
      : IOStdio(input, output), command_(command ? command : "") {}

  // First call: the command and a line feed (cut to size - 1 characters);
  // second call: a line feed alone; every later call: 0 (end of input).
  long ReadLine(char* buffer, long size) override;

 private:
  std::string command_;
  uint32_t linesHandedOut_ = 0;
};
