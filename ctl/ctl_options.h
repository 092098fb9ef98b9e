// The command line of velmoractl: options, the command and its words, and
// the usage text. Parsing is pure (no output, no exit) so that it can be
// tested on its own; the caller prints and chooses the exit code.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

// Exit codes, the same for every command.
constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;        // the collector answered with a failure
constexpr int kExitUsage = 2;          // bad command line; usage on standard error
constexpr int kExitNoCollector = 3;    // refused, or no answer within the time-out

constexpr uint16_t kDefaultCollectorPort = 21584;
constexpr int kDefaultTimeoutSeconds = 5;

enum class CtlCommand {
  kNone,
  kHelp,
  kVersion,
  kStatus,
  kStart,
  kStop,
  kReload,
  kShutdown,
  kGet,
  kStats,
  kSchedule,
};

struct CtlOptions {
  CtlCommand command = CtlCommand::kNone;
  uint16_t port = kDefaultCollectorPort;
  int timeoutSeconds = kDefaultTimeoutSeconds;
  bool verbose = false;        // -v: get writes the status line to standard error
  bool xml = false;            // --xml: the collector's document as it came
  bool providers = false;      // stats --providers
  bool registrations = false;  // reload --registrations
  std::string argument;        // NAME of start/stop, PATH of get
};

// Parses argv[1..argc). Options may stand before or after the command.
// Returns true with *options filled, or false with *error saying what is
// wrong (the caller prints it and the usage, and exits with kExitUsage).
// -h/--help and --version win over everything else on the line.
bool ParseCtlArguments(int argc, const char* const* argv, CtlOptions* options, std::string* error);

void PrintCtlUsage(FILE* out);
