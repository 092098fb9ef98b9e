// An in-memory IO channel for tests and fuzzing: reads come from a fixed
// input text, writes are collected. ReadLine follows the socket channel's
// rules (pieces of size - 1, 0 when input ends inside a line).
#pragma once
#include <cstring>
#include <string>

#include "runtime/io_base.h"

class MemoryChannel : public IOBase {
 public:
  explicit MemoryChannel(std::string input) : IOBase(kTypeSocket), input_(std::move(input)) {}

  const char* PeerName() override { return "memory"; }
  long Write(const void* data, size_t length) override {
    if (failWrites_) return -1;
    output_.append(static_cast<const char*>(data), length);
    CountWritten(static_cast<long>(length));
    return static_cast<long>(length);
  }
  long Read(void* buffer, long length) override {
    if (length < 1) return -1;
    size_t n = input_.size() - position_;
    if (n > static_cast<size_t>(length)) n = static_cast<size_t>(length);
    memcpy(buffer, input_.data() + position_, n);
    position_ += n;
    return static_cast<long>(n);
  }
  long ReadLine(char* buffer, long size) override {
    if (size < 2) return -1;
    long stored = 0;
    while (stored < size - 1) {
      if (position_ >= input_.size()) return 0;
      char c = input_[position_++];
      buffer[stored++] = c;
      if (c == '\n') break;
    }
    buffer[stored] = '\0';
    return stored;
  }

  const std::string& Output() const { return output_; }
  // The output after the head's empty line; empty when no head ended.
  std::string Body() const {
    size_t at = output_.find("\r\n\r\n");
    return at == std::string::npos ? std::string() : output_.substr(at + 4);
  }
  std::string Unread() const { return input_.substr(position_); }
  void FailWrites() { failWrites_ = true; }

 private:
  std::string input_;
  size_t position_ = 0;
  std::string output_;
  bool failWrites_ = false;
};
