#include "runtime/option_scanner.h"

#include <cstring>

namespace {
bool IsOptionWord(const char* word) { return word[0] == '-' || word[0] == '/'; }
}  // namespace

OptionScanner::OptionScanner(int argc, char* const* argv, const char* options, FILE* errors)
    : argc_(argc), argv_(argv), options_(options), errors_(errors) {}

int OptionScanner::Next() {
  argument_ = nullptr;
  if (pending_ == nullptr || *pending_ == '\0') {
    if (index_ >= argc_) return -1;
    const char* word = argv_[index_];
    if (!IsOptionWord(word)) return -1;
    if (strcmp(word, "-") == 0 || strcmp(word, "--") == 0) {
      ++index_;
      return -1;
    }
    pending_ = word + 1;
    ++index_;
  }
  char letter = *pending_++;
  if (letter == ':') return '?';
  const char* entry = letter == '\0' ? nullptr : strchr(options_, letter);
  if (entry == nullptr) return '?';
  if (entry[1] != ':') return letter;

  bool optional = entry[2] == ':';
  if (*pending_ != '\0') {
    argument_ = pending_;
  } else if (index_ < argc_ && !IsOptionWord(argv_[index_])) {
    argument_ = argv_[index_++];
  } else if (!optional) {
    fprintf(errors_, "ERROR: expected an argument after parameter '%c'\n", letter);
    pending_ = nullptr;
    return '?';
  }
  pending_ = nullptr;
  return letter;
}
