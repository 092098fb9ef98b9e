#include "ctl/ctl_options.h"

#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

namespace {

struct CommandName {
  const char* name;
  CtlCommand command;
  bool takesArgument;
};

constexpr CommandName kCommands[] = {
    {"status", CtlCommand::kStatus, false},     {"start", CtlCommand::kStart, true},
    {"stop", CtlCommand::kStop, true},          {"reload", CtlCommand::kReload, false},
    {"shutdown", CtlCommand::kShutdown, false}, {"get", CtlCommand::kGet, true},
    {"stats", CtlCommand::kStats, false},       {"schedule", CtlCommand::kSchedule, false},
};

// A whole decimal number within [low, high]; false for anything else.
bool ParseNumber(const char* text, long low, long high, long* value) {
  if (text == nullptr || *text < '0' || *text > '9') return false;
  char* end = nullptr;
  long n = strtol(text, &end, 10);
  if (*end != '\0' || n < low || n > high) return false;
  *value = n;
  return true;
}

}  // namespace

bool ParseCtlArguments(int argc, const char* const* argv, CtlOptions* options, std::string* error) {
  *options = CtlOptions();
  std::vector<std::string_view> words;
  bool help = false, version = false;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (arg == "-h" || arg == "--help") {
      help = true;
    } else if (arg == "--version") {
      version = true;
    } else if (arg == "-v") {
      options->verbose = true;
    } else if (arg == "--xml") {
      options->xml = true;
    } else if (arg == "--providers") {
      options->providers = true;
    } else if (arg == "--registrations") {
      options->registrations = true;
    } else if (arg == "-p" || arg == "-t") {
      long value = 0;
      const char* text = i + 1 < argc ? argv[++i] : nullptr;
      bool port = arg == "-p";
      if (!ParseNumber(text, 1, port ? 65535 : 3600, &value)) {
        *error = std::string(arg) + (port ? " needs a port from 1 to 65535" : " needs seconds from 1 to 3600");
        return false;
      }
      if (port)
        options->port = static_cast<uint16_t>(value);
      else
        options->timeoutSeconds = static_cast<int>(value);
    } else if (arg.size() > 1 && arg[0] == '-') {
      *error = "unknown option " + std::string(arg);
      return false;
    } else {
      words.push_back(arg);
    }
  }
  if (help || version) {
    options->command = help ? CtlCommand::kHelp : CtlCommand::kVersion;
    return true;
  }
  if (words.empty()) {
    *error = "no command given";
    return false;
  }
  const CommandName* found = nullptr;
  for (const CommandName& c : kCommands)
    if (words[0] == c.name) found = &c;
  if (found == nullptr) {
    *error = "unknown command " + std::string(words[0]);
    return false;
  }
  options->command = found->command;
  const size_t wanted = found->takesArgument ? 2 : 1;
  if (words.size() != wanted) {
    *error = std::string(found->name) + (found->takesArgument ? " takes one argument" : " takes no argument");
    return false;
  }
  if (found->takesArgument) options->argument = std::string(words[1]);
  if (found->command == CtlCommand::kGet && options->argument[0] != '/') {
    *error = "get needs a path that starts with \"/\"";
    return false;
  }
  if (options->providers && found->command != CtlCommand::kStats) {
    *error = "--providers goes with stats only";
    return false;
  }
  if (options->registrations && found->command != CtlCommand::kReload) {
    *error = "--registrations goes with reload only";
    return false;
  }
  return true;
}

void PrintCtlUsage(FILE* out) {
  fprintf(out,
          "usage: velmoractl [-p PORT] [-t SECONDS] [-v] [--xml] COMMAND [ARGUMENT]\n"
          "Controls the Velmora collector on 127.0.0.1:PORT.\n"
          "\n"
          "commands:\n"
          "  status                  one row per registered provider: name, port, state, last pid, response\n"
          "                          (state \"stopped\": the collector counts it ready, but its process\n"
          "                          has ended; its next request starts it again)\n"
          "  start NAME              start a provider\n"
          "  stop NAME               stop a provider; waits (at most the time-out) until it has ended\n"
          "  reload                  ask the collector to pass a reconfiguration on to its providers\n"
          "  reload --registrations  read the registration files again\n"
          "  shutdown                stop the collector and its providers; waits (at most 30 s) until\n"
          "                          its port closes\n"
          "  get PATH                fetch a page through the collector; the body goes to standard\n"
          "                          output unchanged\n"
          "  stats [--providers]     the collector's statistics (or its providers') as name/value rows\n"
          "  schedule                the wakeups the collector keeps for its providers\n"
          "\n"
          "options:\n"
          "  -p PORT       the collector's port (default %u)\n"
          "  -t SECONDS    the longest wait for each part of an answer (default %d); a refused\n"
          "                connection fails at once\n"
          "  -v            get: the status line on standard error\n"
          "  --xml         status, stats, schedule: the collector's document as it came\n"
          "  -h, --help    this text\n"
          "  --version     the version\n"
          "\n"
          "Tables have one header row; a value with blanks shows them as \"_\" and an empty one as \"-\",\n"
          "so every row has the same fields for awk.\n"
          "\n"
          "exit codes: 0 success; 1 the collector answered with a failure (shown on standard error);\n"
          "2 usage error; 3 no collector answered on 127.0.0.1:PORT (refused or timed out).\n",
          static_cast<unsigned>(kDefaultCollectorPort), kDefaultTimeoutSeconds);
}
