#include "runtime/command_line.h"

#include <cstdlib>
#include <cstring>

#include "runtime/log.h"
#include "runtime/monitor_server.h"
#include "runtime/option_scanner.h"
#include "runtime/process_globals.h"

namespace {

// "-d path" is listed although the option string does not accept it: -d
// prints this text too. The configuration directory always comes from the
// first command-line word.
const char kUsage[] =
    "usage: %s [options]\n"
    "  -p [port]     Port for sockets phase\n"
    "  -c            Skip stdio phase\n"
    "  -d path       Configuration directory (default is module path)\n"
    "  -v[#]         Display version information\n"
    "  -V#           Verbosity mask\n"
    "  -l [path]     Log file name\n"
    "  -s            Request ready signal\n"
    "  -f            First run flag\n"
    "  -o [cmd]      Single command, stdio mode only\n"
    "  -O [cmd]      Single command, stdio mode only, output file\n"
    "  -z            Prevent idle shutdown\n"
    "  -g            gather provider statistics\n"
    "  -u            disable unique provider locking\n"
    "  -r            heartbeat crash recovery option\n"
    "  -b #          override maximum log size (in kbytes)\n"
    "  -h            This message\n";

unsigned long ParseNumber(const char* text) { return strtoul(text, nullptr, 0); }

}  // namespace

void PrintUsage(FILE* out, const char* program) {
  fprintf(out, kUsage, program);
  fflush(out);
}

void PrintVersion(FILE* out, const char* selector) {
  char which = selector != nullptr ? selector[0] : '\0';
  if (which == '0') {
    fprintf(out, "%s\n", kVersionTextShort);
  } else if (which == '1') {
    char build[12];
    snprintf(build, sizeof build, "%lu", kBuildNumber);
    fprintf(out, "%s\n", build);
  } else if (which == '2') {
    fprintf(out, "%s\n", kVersionText);
  } else {
    // The third line is the build date and time, e.g. "Nov  7 2012 10:55:21".
    fprintf(out, "%s\nVelmora provider runtime\n%s %s\n", kVersionText, __DATE__, __TIME__);
  }
  fflush(out);
}

int ScanCommandLine(int argc, char* const* argv, MonitorServer& server, ProcessGlobals& globals,
                    FILE* out, FILE* errors) {
  server.options.arguments.assign(argv, argv + argc);
  server.options.configDirectory.clear();
  if (argc > 0) {
    const std::string first = argv[0];
    size_t cut = first.find_last_of("/\\");
    if (cut != std::string::npos) server.options.configDirectory = first.substr(0, cut + 1);
  }
  const char* program = argc > 0 ? argv[0] : "";

  OptionScanner scanner(argc, argv, kOptionString, errors);
  for (int letter; (letter = scanner.Next()) != -1;) {
    const char* arg = scanner.Argument();
    switch (letter) {
      case 'p':
        server.options.tcpPhaseEnabled = 1;
        if (arg != nullptr) server.sockets.port = static_cast<uint16_t>(ParseNumber(arg));
        break;
      case 'c':
        server.options.skipStdioPhase = 1;
        break;
      case 'l':
        snprintf(globals.logFileName, sizeof globals.logFileName, "%s", arg != nullptr ? arg : "");
        break;
      case 'v':
        PrintVersion(out, arg);
        return 1;
      case 'V':
        SetVerbosityMask(static_cast<uint32_t>(ParseNumber(arg)));
        break;
      case 's':
        server.options.readySignalRequested = true;
        if (arg != nullptr) server.options.readySignalArgument = arg;
        break;
      case 'z':
        server.idle.idleTimeoutSeconds = 0;
        break;
      case 'g':
        server.options.gatherStats = true;
        break;
      case 'f':
        server.options.firstRun = 1;
        break;
      case 'o':
        server.options.oneShotRequested = 1;
        server.options.oneShotCommand = arg;
        break;
      case 'O':
        server.options.oneShotOutputRequested = 1;
        server.options.oneShotOutputFile = arg;
        break;
      case 'u':
        server.options.uniquenessRequested = false;
        break;
      case 'r':
        server.options.crashRecovery = 1;
        break;
      case 'b':
        globals.logSizeLimit = static_cast<uint32_t>(ParseNumber(arg) * 1024);
        break;
      default:  // -h, -?, -S, -d and every unknown letter
        PrintUsage(out, program);
        return 1;
    }
  }
  return 0;
}
