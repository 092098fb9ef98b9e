// The system's own option scanner, in the getopt style with a persistent
// position: words that begin with "-" or "/" hold option letters; letters
// may be grouped ("-cz"); an argument may be attached ("-p1234") or be the
// next word when that word does not begin with "-" or "/" ("-p 1234"), for
// optional arguments too. "-" and "--" end the scan and are consumed; any
// other word that is not an option ends the scan and is not consumed.
#pragma once
#include <cstdio>

class OptionScanner {
 public:
  // `options` as in getopt: a letter followed by ":" takes a required
  // argument, by "::" an optional one. Messages go to `errors`.
  OptionScanner(int argc, char* const* argv, const char* options, FILE* errors = stderr);

  // The next option letter, '?' for an unknown letter or a missing required
  // argument, or -1 when scanning has ended.
  int Next();
  // The argument of the option just returned, or null.
  const char* Argument() const { return argument_; }
  // Index of the first word not consumed by the scan.
  int Index() const { return index_; }

 private:
  int argc_;
  char* const* argv_;
  const char* options_;
  FILE* errors_;
  int index_ = 1;                // next word to take
  const char* pending_ = nullptr;  // position inside the current word
  const char* argument_ = nullptr;
};
